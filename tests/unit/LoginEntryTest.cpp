// The entries that start the window at login: their texts both ways, and
// the round trip through this system's own place (a file on Linux, the
// registry under Wine).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/Clock.h"
#include "platform/LoginEntry.h"
#include "platform/LoginEntryText.h"
#include "support/ScopedEnv.h"

namespace fs = std::filesystem;
using platform::AutostartEntryProgram;
using platform::AutostartEntryText;
using platform::RunValueProgram;
using platform::RunValueText;

namespace {

// Where the entry lives: a file on Linux, a registry value on Windows.
#ifdef _WIN32
constexpr bool kEntryIsAFile = false;
#else
constexpr bool kEntryIsAFile = true;
#endif

std::string LineOf(const std::string& text, const std::string& key) {
    const std::size_t at = text.find("\n" + key + "=");
    return at == std::string::npos ? std::string()
                                   : text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

}  // namespace

TEST(LoginEntryText, AutostartEntryQuotesWhatTheDesktopWouldSplitAndReadsBackTheCommand) {
    const struct {
        std::string command;
        std::string exec;
        std::string tryExec;
    } rows[] = {
        {"pontaro", "Exec=pontaro --autostart", "TryExec=pontaro"},
        {"/opt/My Apps/pontaro", "Exec=\"/opt/My Apps/pontaro\" --autostart",
         "TryExec=/opt/My Apps/pontaro"},
        // In quotes " ` $ \ take a backslash; then every backslash is doubled.
        {"/home/u/a\"b$c`d\\e/pontaro",
         "Exec=\"/home/u/a\\\\\"b\\\\$c\\\\`d\\\\\\\\e/pontaro\" --autostart",
         "TryExec=/home/u/a\"b$c`d\\\\e/pontaro"},
        // A field code otherwise.
        {"/tmp/100%/pontaro", "Exec=/tmp/100%%/pontaro --autostart", "TryExec=/tmp/100%/pontaro"},
        {"/home/ポンタ/bin/pontaro", "Exec=/home/ポンタ/bin/pontaro --autostart",
         "TryExec=/home/ポンタ/bin/pontaro"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        const std::string text = AutostartEntryText(row.command);
        EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
        EXPECT_EQ(LineOf(text, "Exec"), row.exec);
        EXPECT_EQ(LineOf(text, "TryExec"), row.tryExec);
        EXPECT_EQ(AutostartEntryProgram(text), row.command);
    }
    // What no entry can carry gives no entry at all.
    for (const std::string bad :
         {"", "/a\nb/pontaro", "/a\tb/pontaro", "/a\x7f/pontaro", "/\xff\xfe/pontaro"}) {
        EXPECT_EQ(AutostartEntryText(bad), "") << bad;
    }
}

TEST(LoginEntryText, AutostartEntryFromElsewhereStartsWhatItsMainGroupSays) {
    const struct {
        const char* text;
        std::optional<std::string> program;
    } rows[] = {
        {"[Desktop Entry]\r\nExec = /usr/bin/pontaro\r\n", "/usr/bin/pontaro"},
        {"# Exec=other\n[Desktop Entry]\nExec=\"/a b/pontaro\" -x\nExec=second\n", "/a b/pontaro"},
        {"[Desktop Entry]\nExec=/a\\sb/pontaro\n", "/a"},  // \s is a space, outside quotes
        {"[Desktop Entry]\nExec=\"/a\\sb/pontaro\"\n", "/a b/pontaro"},
        // Switched off by a desktop's settings.
        {"[Desktop Entry]\nExec=pontaro\nHidden=true\n", std::nullopt},
        {"[Desktop Entry]\nExec=pontaro\nX-GNOME-Autostart-enabled=false\n", std::nullopt},
        // Another group's Exec, none, or one that cannot be read.
        {"[Desktop Action x]\nExec=pontaro\n", std::nullopt},
        {"[Desktop Entry]\nExec=pontaro\n[Desktop Action x]\nHidden=true\n", "pontaro"},
        {"[Desktop Entry]\nName=Pontaro\n", std::nullopt},
        {"[Desktop Entry]\nExec=\"/a b/pontaro\n", std::nullopt},
        {"Exec=pontaro\n", std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(AutostartEntryProgram(row.text), row.program) << row.text;
    }
}

TEST(LoginEntryText, RunValueQuotesThePathAndReadsBackItsFirstWord) {
    EXPECT_EQ(RunValueText("C:\\Program Files\\Pontaro\\Pontaro.exe"),
              "\"C:\\Program Files\\Pontaro\\Pontaro.exe\" --autostart");
    EXPECT_EQ(RunValueProgram(RunValueText("C:\\Program Files\\Pontaro\\Pontaro.exe")),
              "C:\\Program Files\\Pontaro\\Pontaro.exe");
    EXPECT_EQ(RunValueText(""), "");
    EXPECT_EQ(RunValueText("C:\\a\"b\\Pontaro.exe"), "");

    const struct {
        const char* value;
        std::optional<std::string> program;
    } rows[] = {
        {"C:\\Tools\\Pontaro.exe --autostart", "C:\\Tools\\Pontaro.exe"},
        {"  \"C:\\P F\\Pontaro.exe\"", "C:\\P F\\Pontaro.exe"},
        {"C:\\P F\\Pontaro.exe", "C:\\P"},  // unquoted: Windows would not find it either
        {"\"C:\\P F\\Pontaro.exe --autostart", std::nullopt},
        {"\"\" --autostart", std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(RunValueProgram(row.value), row.program) << row.value;
    }
}

// Linux: the autostart file under a private XDG_CONFIG_HOME; Windows (Wine):
// the Run value of the test prefix.
class LoginEntry : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("pontaro-login-" + std::to_string(platform::TickCount()) + "-" + info->name());
        fs::create_directories(dir_ / "My Apps");
        std::ofstream(dir_ / "My Apps" / "pontaro") << "#!/bin/sh\n";
        fs::permissions(dir_ / "My Apps" / "pontaro", fs::perms::owner_all);
        program_ = Path(dir_ / "My Apps" / "pontaro");
        config_.emplace("XDG_CONFIG_HOME", Path(dir_ / "config"));
    }
    void TearDown() override {
        platform::SetStartAtLogin(program_, false);
        config_.reset();
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    static std::string Path(const fs::path& p) {
        const auto u8 = p.u8string();
        return std::string(u8.begin(), u8.end());
    }
    fs::path EntryFile() const { return dir_ / "config" / "autostart" / "pontaro.desktop"; }

    fs::path dir_;
    std::string program_;
    std::optional<ScopedEnv> config_;
};

TEST_F(LoginEntry, WrittenReadBackAndRemovedLeavingNothing) {
    const std::string other = Path(dir_ / "other" / "pontaro");
    EXPECT_FALSE(platform::StartsAtLogin(program_));
    ASSERT_TRUE(platform::SetStartAtLogin(program_, true));
    EXPECT_TRUE(platform::StartsAtLogin(program_));
    EXPECT_FALSE(platform::StartsAtLogin(other));
    EXPECT_EQ(fs::exists(EntryFile()), kEntryIsAFile);

    // Removing another program's entry leaves this one.
    EXPECT_TRUE(platform::SetStartAtLogin(other, false));
    EXPECT_TRUE(platform::StartsAtLogin(program_));

    ASSERT_TRUE(platform::SetStartAtLogin(program_, false));
    EXPECT_FALSE(platform::StartsAtLogin(program_));
    EXPECT_FALSE(fs::exists(EntryFile()));
    EXPECT_TRUE(platform::SetStartAtLogin(program_, false));  // nothing there: nothing to do
}

TEST_F(LoginEntry, AutostartFileSwitchedOffOrStartingAnotherReadsAsOffAndStays) {
    if (!kEntryIsAFile) {
        GTEST_SKIP() << "the Run value has no switch of its own";
    }
    fs::create_directories(EntryFile().parent_path());
    for (const std::string& text : {"[Desktop Entry]\nExec=\"" + program_ + "\"\nHidden=true\n",
                                    std::string("[Desktop Entry]\nExec=/usr/bin/true\n")}) {
        std::ofstream(EntryFile()) << text;
        EXPECT_FALSE(platform::StartsAtLogin(program_)) << text;
        EXPECT_TRUE(platform::SetStartAtLogin(program_, false));
        EXPECT_TRUE(fs::exists(EntryFile()));  // not ours to remove
    }
}
