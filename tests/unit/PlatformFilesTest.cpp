// The file and clock calls of the platform layer (POSIX here, Win32 under Wine).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "text/Text.h"

namespace fs = std::filesystem;

namespace {

std::string Utf8(const fs::path& p) {
    const auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

fs::path FromUtf8(const std::string& s) {
    return fs::path(std::u8string(s.begin(), s.end()));
}

class PlatformFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("pontaro-files-" + std::to_string(platform::TickCount()) + "-" + info->name());
        fs::remove_all(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    fs::path dir_;
};

}  // namespace

TEST_F(PlatformFiles, WritesIntoNewFoldersWithNonAsciiNamesAndReadsBackEveryByte) {
    const std::string path = Utf8(dir_) + "/設定/プロファイル.ini";
    const std::string contents("[Setting]\r\nSetting=80, 80, TCP, HTTP接続\r\n\0tail", 50);
    ASSERT_TRUE(platform::WriteFileAtomically(path, contents));
    EXPECT_TRUE(fs::exists(FromUtf8(path)));
    std::string back;
    ASSERT_EQ(platform::ReadWholeFile(path, &back), platform::ReadResult::kOk);
    EXPECT_EQ(back, contents);
}

TEST_F(PlatformFiles, RewriteReplacesTheWholeFileAndLeavesNothingBeside) {
    const std::string path = Utf8(dir_) + "/p.ini";
    ASSERT_TRUE(platform::WriteFileAtomically(path, std::string(100000, 'x')));
    ASSERT_TRUE(platform::WriteFileAtomically(path, "short"));
    std::string back;
    ASSERT_EQ(platform::ReadWholeFile(path, &back), platform::ReadResult::kOk);
    EXPECT_EQ(back, "short");
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir_)) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
    ASSERT_TRUE(platform::WriteFileAtomically(path, ""));
    ASSERT_EQ(platform::ReadWholeFile(path, &back), platform::ReadResult::kOk);
    EXPECT_EQ(back, "");
}

TEST_F(PlatformFiles, MissingAndUnreadableAreToldApart) {
    std::string back = "unchanged";
    EXPECT_EQ(platform::ReadWholeFile(Utf8(dir_) + "/none.ini", &back),
              platform::ReadResult::kMissing);
    EXPECT_EQ(platform::ReadWholeFile(Utf8(dir_) + "/no/such/dir/none.ini", &back),
              platform::ReadResult::kMissing);
    fs::create_directories(dir_ / "folder");
    EXPECT_EQ(platform::ReadWholeFile(Utf8(dir_ / "folder"), &back),
              platform::ReadResult::kUnreadable);
    EXPECT_EQ(back, "unchanged");
    // A file where a folder should be: the write fails instead of writing elsewhere.
    ASSERT_TRUE(platform::WriteFileAtomically(Utf8(dir_) + "/plain", "x"));
    EXPECT_FALSE(platform::WriteFileAtomically(Utf8(dir_) + "/plain/p.ini", "y"));
    EXPECT_EQ(platform::ReadWholeFile(Utf8(dir_) + "/plain/p.ini", &back),
              platform::ReadResult::kMissing);
}

TEST(PlatformProfilePath, NamesTheIniFileInTheProgramsOwnFolder) {
    const std::string path = platform::DefaultProfilePath();
    const fs::path p = FromUtf8(path);
    EXPECT_TRUE(text::EqualsNoCase(Utf8(p.filename()), "pontaro.ini")) << path;
    EXPECT_TRUE(text::EqualsNoCase(Utf8(p.parent_path().filename()), "pontaro")) << path;
}

TEST(PlatformClock, TickAdvancesAcrossASleepAndTimeConverts) {
    const std::uint32_t start = platform::TickCount();
    platform::SleepMs(60);
    EXPECT_GE(static_cast<std::uint32_t>(platform::TickCount() - start), 40u);
    std::tm tm{};
    ASSERT_TRUE(platform::ToLocalTime(1700000000, &tm));  // 2023-11-14 UTC
    EXPECT_EQ(tm.tm_year, 123);
    EXPECT_EQ(tm.tm_mon, 10);
    EXPECT_GE(tm.tm_mday, 14);
    EXPECT_LE(tm.tm_mday, 15);
}
