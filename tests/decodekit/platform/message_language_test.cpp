#include "decodekit/platform/message_language.h"

#include "decodekit/platform/message_box.h"
#include "platform_test_util.h"

#include <gtest/gtest.h>

using platform_test::BoxCapture;
using platform_test::TempFolder;
using platform_test::write_text;

namespace {

constexpr const char* kLoadFails = "Load language library fails, the program will use";

class MessageLanguageTest : public testing::Test {
protected:
    void SetUp() override {
        decodekit::set_message_language_folder(folder_.path().string());
        decodekit::reset_message_language();
    }
    void TearDown() override {
        decodekit::set_message_language_folder("");
        decodekit::reset_message_language();
    }
    void select(const std::string& first_line) {
        write_text(folder_.file("Vexora.ini"), first_line + "\n");
        LoadMessageLanguage();
    }
    TempFolder folder_;
};

TEST_F(MessageLanguageTest, FirstLineNumberSelectsTheLanguageFile) {
    BoxCapture boxes;
    const std::string dir = folder_.path().string() + "/";
    select("Language=1");
    EXPECT_EQ(decodekit::message_language(), 1);
    EXPECT_EQ(decodekit::message_language_file(), dir + "qxr_Chinese.ini");
    select("Language=2");
    EXPECT_EQ(decodekit::message_language(), 2);
    EXPECT_EQ(decodekit::message_language_file(), dir + "qxr_French.ini");
    select("Language=0");
    EXPECT_EQ(decodekit::message_language(), 0);
    EXPECT_EQ(decodekit::message_language_file(), dir + "language.ini");
    select("x=2=1");  // the number after the first "="
    EXPECT_EQ(decodekit::message_language(), 2);
    select("Language=7");
    EXPECT_EQ(decodekit::message_language(), 0);
    EXPECT_EQ(decodekit::message_language_file(), dir + "language.ini");
    select("Language=banana");
    EXPECT_EQ(decodekit::message_language(), 0);
    EXPECT_TRUE(boxes.taken().empty());
}

TEST_F(MessageLanguageTest, EmptyFileOrLineWithoutEqualsChangesNothing) {
    select("Language=2\r");
    ASSERT_EQ(decodekit::message_language(), 2);
    write_text(folder_.file("Vexora.ini"), "");
    LoadMessageLanguage();
    EXPECT_EQ(decodekit::message_language(), 2);
    // Only the first line is read: a profile-style file selects nothing.
    write_text(folder_.file("Vexora.ini"), "[LanguageType]\nLanguage=1\n");
    LoadMessageLanguage();
    EXPECT_EQ(decodekit::message_language(), 2);
}

TEST_F(MessageLanguageTest, MissingSettingsFileGivesEnglishAndABox) {
    select("Language=1");
    ASSERT_EQ(decodekit::message_language(), 1);
    std::filesystem::remove(folder_.file("Vexora.ini"));
    BoxCapture boxes;
    LoadMessageLanguage();
    EXPECT_EQ(decodekit::message_language(), 0);
    EXPECT_EQ(decodekit::message_language_file(), folder_.file("language.ini"));
    const auto taken = boxes.taken();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(taken[0].first, kLoadFails);
    EXPECT_EQ(taken[0].second, "error");
    EXPECT_EQ(LookupTranslation("SearchDVS"), "SearchDVS");
}

TEST_F(MessageLanguageTest, LookupSplitsAtFirstEqualsAndMatchesExactly) {
    write_text(folder_.file("qxr_Chinese.ini"),
               "no equals sign here\n"
               "Hello =spaced\n"
               "hello=lower\n"
               "Hello=first\r\n"
               "Hello=second\n"
               "A=B=C\n"
               "Empty=\n"
               "SearchDVS=Recherche\n");
    // Language 0 never reads the file.
    EXPECT_EQ(LookupTranslation("Hello"), "Hello");
    select("Language=1");
    EXPECT_EQ(LookupTranslation("Hello"), "first");
    EXPECT_EQ(LookupTranslation("hello"), "lower");
    EXPECT_EQ(LookupTranslation("HELLO"), "HELLO");
    EXPECT_EQ(LookupTranslation("Hello "), "spaced");
    EXPECT_EQ(LookupTranslation("A"), "B=C");
    EXPECT_EQ(LookupTranslation("A=B"), "A=B");
    EXPECT_EQ(LookupTranslation("Empty"), "");
    EXPECT_EQ(LookupTranslation("SearchDVS"), "Recherche");
    EXPECT_EQ(LookupTranslation("Not there"), "Not there");
    EXPECT_EQ(LookupTranslation(""), "");
    EXPECT_EQ(LookupTranslation(nullptr), "");
}

TEST_F(MessageLanguageTest, MissingLanguageFileGivesEnglish) {
    select("Language=2");  // qxr_French.ini does not exist
    EXPECT_EQ(LookupTranslation("Hello"), "Hello");
}

TEST_F(MessageLanguageTest, LongTranslationIsCutTo255Characters) {
    const std::string long_text(300, 'x');
    write_text(folder_.file("qxr_French.ini"),
               "Key=" + long_text + "\nExact=" + std::string(255, 'y') + "\n");
    select("Language=2");
    EXPECT_EQ(LookupTranslation("Key"), std::string(255, 'x'));
    EXPECT_EQ(LookupTranslation("Exact"), std::string(255, 'y'));
}

TEST(MessageBox, DefaultHookWritesCaptionAndTextToStderr) {
    testing::internal::CaptureStderr();
    decodekit::show_message_box("the text", "the caption");
    decodekit::show_message_box(nullptr, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "the caption: the text\n: \n");
}

}  // namespace

namespace {

TEST(MessageLanguageFolder, DefaultsToTheFolderOfTheModuleFile) {
    decodekit::set_message_language_folder("");
    // Linked into this test program, the module file is the program itself.
    const auto exe = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(decodekit::message_language_folder(), exe.parent_path().string() + "/");
    decodekit::set_message_language_folder("/some/where");
    EXPECT_EQ(decodekit::message_language_folder(), "/some/where/");
    decodekit::set_message_language_folder("");
}

}  // namespace
