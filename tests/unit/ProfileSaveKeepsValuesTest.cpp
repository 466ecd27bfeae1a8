// Saving one setting rewrites the whole profile file: every other value must
// read back as it read before, whatever line ends the file was written with.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/Profile.h"

namespace fs = std::filesystem;

namespace {

TEST(ProfileSaveKeepsValues, ValuesOfLinesEndingInExtraCarriageReturns) {
    std::random_device rd;
    const fs::path dir = fs::temp_directory_path() / ("pontaro-save-" + std::to_string(rd()));
    fs::create_directories(dir);
    const std::string path = (dir / "pontaro.ini").string();
    {
        std::ofstream out(path, std::ios::binary);
        out << "[Setting]\r\nAuto=1\r\r\nClose= 0 \r\r\r\nOther=a\rb\r\n[Else]\r\nx=y\r\r\n";
    }
    Profile before(path);
    const std::string keys[] = {"Auto", "Close", "Other"};
    std::string values[3];
    for (int i = 0; i < 3; ++i) {
        values[i] = before.GetString("Setting", keys[i], "missing");
    }
    const std::string other = before.GetString("Else", "x", "missing");
    ASSERT_TRUE(before.WriteString("Setting", "Setting", "80, 80, TCP, web"));

    Profile after(path);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(after.GetString("Setting", keys[i], "missing"), values[i]) << keys[i];
    }
    EXPECT_EQ(after.GetString("Else", "x", "missing"), other);
    EXPECT_EQ(after.GetInt("Setting", "Auto", 7), 1);
    std::error_code ec;
    fs::remove_all(dir, ec);
}

}  // namespace
