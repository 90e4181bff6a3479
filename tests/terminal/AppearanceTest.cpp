#include "TerminalTestSupport.h"

#include "support/Registry.h"
#include "terminal/Appearance.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr const char* kAppKey = "HKEY_CURRENT_USER\\Software\\Trevane Desk2\\Trevane2";

class AppearanceStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_registry.CreateKeyByPath(kAppKey)); }

    terminal_test::TempWorkDir m_dir;
    support::CRegistry m_registry;
};

TEST(CharFormatTest, FontSurvivesTheRecord)
{
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPointSizeF(13.5);
    font.setBold(true);
    font.setItalic(true);
    const CharFormat cf = CharFormatFromFont(font);

    // Size first, little-endian; the face name at its fixed place.
    EXPECT_EQ(cf[0], 60);
    EXPECT_EQ(cf[1] | cf[2] | cf[3], 0);
    EXPECT_EQ(std::memcmp(cf.data() + kFaceNameOffset, "DejaVu Sans Mono", 17), 0);
    EXPECT_EQ(cf[12] | (cf[13] << 8), 270);  // 13.5 pt in twips
    EXPECT_TRUE(HasStoredFace(cf));

    const QFont back = FontFromCharFormat(cf, QFont(QStringLiteral("Other")));
    EXPECT_EQ(back.family(), QStringLiteral("DejaVu Sans Mono"));
    EXPECT_DOUBLE_EQ(back.pointSizeF(), 13.5);
    EXPECT_TRUE(back.bold());
    EXPECT_TRUE(back.italic());
    EXPECT_FALSE(back.underline());
}

TEST(CharFormatTest, LongNonAsciiFaceIsCutAtACharacter)
{
    // Eleven three-byte characters: 33 bytes, more than the 31 that fit.
    const QString face = QString::fromUtf8("가나다라마바사아자차카");
    const CharFormat cf = CharFormatFromFont(QFont(face));
    const auto* name = reinterpret_cast<const char*>(cf.data() + kFaceNameOffset);
    const std::size_t length = strnlen(name, kFaceNameSize);
    EXPECT_EQ(length, 30u);
    EXPECT_EQ(QString::fromUtf8(name, static_cast<qsizetype>(length)), face.left(10));
}

TEST(CharFormatTest, ShortOrEmptyFaceCountsAsNotStored)
{
    EXPECT_FALSE(HasStoredFace(CharFormat{}));
    EXPECT_FALSE(HasStoredFace(CharFormatFromFont(QFont(QStringLiteral("ab")))));
    CAppearance appearance;
    EXPECT_EQ(appearance.TerminalFont().family(), QStringLiteral("Monospace"));
}

TEST_F(AppearanceStoreTest, SaveThenLoadRestoresColoursAndFont)
{
    CAppearance saved;
    saved.SetReceivedColor(0x00102030);
    saved.SetSentColor(0x00405060);
    QFont font(QStringLiteral("Noto Sans Mono"));
    font.setPointSize(11);
    saved.SetCharFormat(CharFormatFromFont(font));
    ASSERT_TRUE(saved.Save(m_registry));

    support::CRegistry other;
    ASSERT_TRUE(other.CreateKeyByPath(kAppKey));
    CAppearance loaded;
    ASSERT_TRUE(loaded.Load(other));
    EXPECT_EQ(loaded.GetReceivedColor(), 0x00102030u);
    EXPECT_EQ(loaded.GetSentColor(), 0x00405060u);
    EXPECT_EQ(loaded.GetCharFormat(), saved.GetCharFormat());
    EXPECT_EQ(loaded.TerminalFont().family(), QStringLiteral("Noto Sans Mono"));
    EXPECT_EQ(loaded.TerminalFont().pointSize(), 11);
    // Load and Save leave the registry on the application key.
    support::DWORD disposition = 0;
    ASSERT_TRUE(other.CreateKey("Appearance", &disposition));
    EXPECT_EQ(disposition, support::REG_OPENED_EXISTING_KEY);
}

TEST_F(AppearanceStoreTest, MissingSectionGivesDefaultColoursAndKeepsTheFont)
{
    CAppearance appearance;
    appearance.SetReceivedColor(0x00ABCDEF);
    const CharFormat cf = CharFormatFromFont(QFont(QStringLiteral("Kept Face")));
    appearance.SetCharFormat(cf);
    EXPECT_FALSE(appearance.Load(m_registry));
    EXPECT_EQ(appearance.GetReceivedColor(), 0x000000FFu);
    EXPECT_EQ(appearance.GetSentColor(), 0x00FF0000u);
    EXPECT_EQ(appearance.GetCharFormat(), cf);
}

TEST_F(AppearanceStoreTest, MissingOrMalformedValuesLeaveTheirMembers)
{
    ASSERT_TRUE(m_registry.CreateKey("Appearance"));
    ASSERT_TRUE(m_registry.WriteDword("SentColor", 0x00010203));
    const unsigned char shortRecord[10] = {60, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0};
    ASSERT_TRUE(m_registry.SetValue("Charformat", support::REG_BINARY, shortRecord,
                                    sizeof shortRecord));
    ASSERT_TRUE(m_registry.CloseKey());

    CAppearance appearance;
    appearance.SetReceivedColor(0x00777777);
    ASSERT_TRUE(appearance.Load(m_registry));
    EXPECT_EQ(appearance.GetSentColor(), 0x00010203u);
    EXPECT_EQ(appearance.GetReceivedColor(), 0x00777777u);  // no value: unchanged
    EXPECT_EQ(appearance.GetCharFormat(), CharFormat{});     // short record ignored
}

}  // namespace
