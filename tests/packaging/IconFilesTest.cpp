// The icon files kept rendered beside their picture: each PNG has the size
// its name says and, where rsvg-convert is installed, still shows what the
// SVG shows (tools/render-icons.sh makes them again after a change).

#include "tests/common/TestFiles.h"

#include <QImage>

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

namespace {

const std::string kIcons = std::string(KESTRANA_SOURCE_DIR) + "/resources/icons";

// The PNG files and the size each name says ("kestrana-48.png": 48).
std::vector<std::pair<std::string, int>> PngFiles()
{
    static const std::regex name(R"(kestrana-(\d+)\.png)");
    std::vector<std::pair<std::string, int>> files;
    std::smatch size;
    for (const auto& entry : std::filesystem::directory_iterator(kIcons))
        if (const std::string file = entry.path().filename().string(); std::regex_match(file, size, name))
            files.emplace_back(entry.path().string(), std::stoi(size[1]));
    return files;
}

// Pixels whose colour or cover differs by more than a rounding step of the
// renderer, as a share of all pixels.
double ChangedShare(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    int changed = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row);
            const QRgb q = y.pixel(col, row);
            const int diff = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                       std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
            changed += diff > 16;
        }
    }
    return static_cast<double>(changed) / (x.width() * x.height());
}

TEST(IconFiles, EachPngIsAsLargeAsItsNameAndShowsWhatTheSvgShows)
{
    const auto files = PngFiles();
    EXPECT_GE(files.size(), 6u);
    for (const auto& [path, size] : files) {
        const QImage image(QString::fromStdString(path));
        EXPECT_EQ(image.size(), QSize(size, size)) << path;
        EXPECT_TRUE(image.hasAlphaChannel()) << path;
    }
    if (std::system("command -v rsvg-convert >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "rsvg-convert is not installed (Debian package librsvg2-bin)";
    testfiles::TempDir temp;
    ASSERT_FALSE(temp.path().empty());
    for (const auto& [path, size] : files) {
        const std::string fresh = temp.path() + "/" + std::to_string(size) + ".png";
        const std::string command = "rsvg-convert --width " + std::to_string(size) + " --height " +
                                    std::to_string(size) + " '" + kIcons + "/kestrana.svg' --output '" +
                                    fresh + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const QImage kept(QString::fromStdString(path));
        const QImage rendered(QString::fromStdString(fresh));
        ASSERT_EQ(kept.size(), rendered.size()) << path;
        EXPECT_LT(ChangedShare(kept, rendered), 0.005)
            << path << " no longer matches kestrana.svg: run tools/render-icons.sh";
    }
}

}  // namespace
