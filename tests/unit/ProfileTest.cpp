#include "app/Profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("pontaro-profile-" + std::to_string(rd()));
        fs::create_directories(dir_);
        path_ = (dir_ / "sub" / "pontaro.ini").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_ / "sub", fs::perms::owner_all, ec);
        fs::remove_all(dir_, ec);
    }
    std::string Read() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    void Write(const std::string& contents) const {
        fs::create_directories(fs::path(path_).parent_path());
        std::ofstream(path_, std::ios::binary) << contents;
    }
    fs::path dir_;
    std::string path_;
};

}  // namespace

TEST(StoredForm, EveryCrLfBecomesFourCharactersAndBack) {
    EXPECT_EQ(RuleTextToStored("80, 80, TCP, a\r\n21, 21, TCP, b\r\n"),
              "80, 80, TCP, a\\r\\n21, 21, TCP, b\\r\\n");
    EXPECT_EQ(RuleTextToStored("\r\n\r\n"), "\\r\\n\\r\\n");
    EXPECT_EQ(RuleTextToStored("a\nb\rc"), "a\nb\rc");  // only pairs
    EXPECT_EQ(RuleTextFromStored("a\\r\\nb\\r\\n"), "a\r\nb\r\n");
    // Typed by the user, the four characters come back as a line break.
    EXPECT_EQ(RuleTextFromStored(RuleTextToStored("x \\r\\n y")), "x \r\n y");
    EXPECT_EQ(RuleTextFromStored("\\r\\r\\n\\n"), "\\r\r\n\\n");
}

TEST_F(ProfileFile, MissingFileGivesDefaultsAndFirstWriteCreatesIt) {
    Profile profile(path_);
    EXPECT_FALSE(profile.IsReadOnly());
    EXPECT_EQ(profile.GetString("Setting", "Setting", "dflt"), "dflt");
    EXPECT_EQ(profile.GetInt("Setting", "Auto", 7), 7);
    ASSERT_TRUE(profile.WriteString("Setting", "Setting", "80, 80, TCP, HTTP接続の通過\\r\\n"));
    ASSERT_TRUE(profile.WriteInt("Setting", "Auto", 1));
    ASSERT_TRUE(profile.WriteInt("Setting", "Close", -3));
    EXPECT_EQ(Read(), "[Setting]\nSetting=80, 80, TCP, HTTP接続の通過\\r\\n\nAuto=1\nClose=-3\n");

    Profile again(path_);
    EXPECT_EQ(again.GetString("Setting", "Setting", ""), "80, 80, TCP, HTTP接続の通過\\r\\n");
    EXPECT_EQ(again.GetInt("Setting", "Auto", 0), 1);
    EXPECT_EQ(again.GetInt("Setting", "Close", 0), -3);
}

TEST_F(ProfileFile, ValuesRoundTripByteForByte) {
    const std::string tricky = "  lead and trail  = ; # [x] \\r\\n \xE3\x80\x80";
    {
        Profile profile(path_);
        ASSERT_TRUE(profile.WriteString("Setting", "Setting", tricky));
        ASSERT_TRUE(profile.WriteString("Setting", "Setting", tricky));  // replaces, no duplicate
    }
    Profile again(path_);
    EXPECT_EQ(again.GetString("Setting", "Setting", ""), tricky);
    EXPECT_EQ(Read(), "[Setting]\nSetting=" + tricky + "\n");
}

TEST_F(ProfileFile, LineBreaksInsideAValueCannotSplitTheFile) {
    Profile profile(path_);
    ASSERT_TRUE(profile.WriteString("Setting", "Setting", "a\nAuto=1\rb"));
    Profile again(path_);
    EXPECT_EQ(again.GetInt("Setting", "Auto", 0), 0);
    EXPECT_EQ(RuleTextFromStored(again.GetString("Setting", "Setting", "")), "a\r\nAuto=1\r\nb");
}

TEST_F(ProfileFile, LenientReading) {
    Write(
        "\xEF\xBB\xBFjunk before any section\nAuto=9\n[Other]\nAuto=5\n"
        "[ Setting ]\r\n; comment\r\nnot a pair\r\n=no key\r\n  Auto = 1\r\n"
        "Auto=0\r\nUnknown=x\r\n[broken\nClose=1\n\x01\x02\xFF\n");
    Profile profile(path_);
    EXPECT_FALSE(profile.IsReadOnly());
    EXPECT_EQ(profile.GetInt("Setting", "Auto", 0), 1);   // first of duplicates, CR dropped
    EXPECT_EQ(profile.GetInt("Setting", "Close", 0), 0);  // under a broken header
    EXPECT_EQ(profile.GetString("Setting", "Setting", "none"), "none");
    EXPECT_EQ(profile.GetInt("Other", "Auto", 0), 5);

    // Saving keeps what it does not know about.
    ASSERT_TRUE(profile.WriteInt("Setting", "Close", 1));
    Profile again(path_);
    EXPECT_EQ(again.GetInt("Setting", "Close", 0), 1);
    EXPECT_EQ(again.GetInt("Other", "Auto", 0), 5);
    EXPECT_EQ(again.GetString("Setting", "Unknown", ""), "x");
}

TEST_F(ProfileFile, CorruptContentGivesDefaultsOrReplacementCharacters) {
    std::string binary;
    for (int i = 0; i < 4096; ++i) {
        binary += static_cast<char>((i * 37) & 0xFF);
    }
    Write(binary + "\n[Setting]\nSetting=ok\xC3\x28\\r\\n\nAuto=yes\n");
    Profile profile(path_);
    EXPECT_EQ(profile.GetString("Setting", "Setting", ""), "ok\xEF\xBF\xBD(\\r\\n");
    EXPECT_EQ(profile.GetInt("Setting", "Auto", 1), 0);  // not a number: atoi gives 0
    EXPECT_EQ(profile.GetInt("Setting", "Close", 1), 1);
}

// A switch is on or off only by "1" or "0"; anything else is the default,
// and the keys around it stay readable.
TEST_F(ProfileFile, SwitchReadsOneOrZeroElseTheDefault) {
    const struct {
        const char* line;
        bool ifDefaultOn, ifDefaultOff;
    } rows[] = {{"OpenIPv6=0\n", false, false},
                {"OpenIPv6= 1 \r\n", true, true},
                {"OpenIPv6=yes\n", true, false},
                {"OpenIPv6=2\n", true, false},
                {"OpenIPv6=\n", true, false},
                {"OpenIPv6=0x0\n", true, false},
                {"", true, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        Write(std::string("[Setting]\n") + row.line + "Auto=1\n");
        Profile profile(path_);
        EXPECT_EQ(profile.GetSwitch("Setting", "OpenIPv6", true), row.ifDefaultOn);
        EXPECT_EQ(profile.GetSwitch("Setting", "OpenIPv6", false), row.ifDefaultOff);
        EXPECT_EQ(profile.GetInt("Setting", "Auto", 0), 1);
    }
}

// Permissions that make a file unreadable or a directory unwritable; these
// skip where they are not enforced (root, Windows attributes).
TEST_F(ProfileFile, UnreadableFileIsNeverOverwritten) {
    Write("[Setting]\nSetting=keep me\n");
    fs::permissions(path_, fs::perms::none);
    if (std::ifstream(path_).good()) {
        GTEST_SKIP() << "running with permission to read anything";
    }
    Profile profile(path_);
    EXPECT_TRUE(profile.IsReadOnly());
    EXPECT_EQ(profile.GetString("Setting", "Setting", ""), "");
    EXPECT_FALSE(profile.WriteString("Setting", "Setting", "new"));
    EXPECT_EQ(profile.GetString("Setting", "Setting", ""), "new");  // kept for the session
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Read(), "[Setting]\nSetting=keep me\n");
}

TEST_F(ProfileFile, SaveIntoReadOnlyDirectoryFailsAndKeepsTheOldFile) {
    Write("[Setting]\nAuto=1\n");
    fs::permissions(dir_ / "sub", fs::perms::owner_read | fs::perms::owner_exec);
    if (std::ofstream((dir_ / "sub" / "probe").string()).good()) {
        GTEST_SKIP() << "running with permission to write anywhere";
    }
    Profile profile(path_);
    EXPECT_FALSE(profile.WriteInt("Setting", "Auto", 0));
    EXPECT_EQ(profile.GetInt("Setting", "Auto", 1), 0);
    fs::permissions(dir_ / "sub", fs::perms::owner_all);
    EXPECT_EQ(Read(), "[Setting]\nAuto=1\n");
}

TEST_F(ProfileFile, DirectoryInPlaceOfTheFileIsUnreadable) {
    fs::create_directories(path_);
    Profile profile(path_);
    EXPECT_TRUE(profile.IsReadOnly());
    EXPECT_FALSE(profile.WriteInt("Setting", "Auto", 1));
    EXPECT_TRUE(fs::is_directory(path_));
}

TEST_F(ProfileFile, LeftoverTemporaryFileOfAnInterruptedSave) {
    Write("[Setting]\nSetting=saved\n");
    // What a crash between writing the temporary file and renaming it leaves.
    std::ofstream(path_ + ".a1B2c3", std::ios::binary) << "[Setting]\nSetting=half wri";
    Profile profile(path_);
    EXPECT_EQ(profile.GetString("Setting", "Setting", ""), "saved");
    ASSERT_TRUE(profile.WriteInt("Setting", "Auto", 1));
    Profile again(path_);
    EXPECT_EQ(again.GetString("Setting", "Setting", ""), "saved");
    EXPECT_EQ(again.GetInt("Setting", "Auto", 0), 1);
}

TEST_F(ProfileFile, SaveThatCannotCreateItsDirectoryFailsCleanly) {
    // Runs everywhere, root included: a file stands where the directory must go.
    std::ofstream((dir_ / "sub").string(), std::ios::binary) << "not a directory";
    Profile profile(path_);
    EXPECT_FALSE(profile.WriteInt("Setting", "Auto", 1));
    EXPECT_EQ(profile.GetInt("Setting", "Auto", 0), 1);
    EXPECT_TRUE(fs::is_regular_file(dir_ / "sub"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}
