// The window icon: every size kept in resources/icons is compiled in and
// offered, and each draws the picture (not an empty square).

#include "AppTestSupport.h"

#include "app/AppIcon.h"
#include "app/Trevane2App.h"

#include <QDir>
#include <QImage>
#include <QPixmap>

#include <algorithm>

namespace {

using namespace apptest;

TEST(AppIcon, OffersEverySizeKeptBesideThePicture)
{
    apptest::Qt();
    CTrevane2App app;  // registers the compiled-in resources
    const QIcon icon = KestranaIcon();
    ASSERT_FALSE(icon.isNull());

    QList<int> kept;
    const QDir folder(QStringLiteral(KESTRANA_SOURCE_DIR "/resources/icons"));
    for (const QString& name : folder.entryList({QStringLiteral("kestrana-*.png")}, QDir::Files))
        kept.append(name.section(QLatin1Char('-'), 1).section(QLatin1Char('.'), 0, 0).toInt());
    QList<int> offered;
    for (const QSize& size : icon.availableSizes())
        offered.append(size.width());
    std::sort(kept.begin(), kept.end());
    std::sort(offered.begin(), offered.end());
    EXPECT_EQ(offered, kept);
    EXPECT_GE(kept.size(), 6);

    for (int size : kept) {
        const QImage image = icon.pixmap(size, size).toImage();
        ASSERT_EQ(image.width(), size);
        // The middle is covered and the corners of the rounded square are not.
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << size;
        EXPECT_LT(qAlpha(image.pixel(0, 0)), 64) << size;
    }
}

}  // namespace
