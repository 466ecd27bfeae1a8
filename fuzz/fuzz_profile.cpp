// The profile file as it lies on disk: any bytes, read leniently, then saved
// and read back.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzCheck.h"
#include "app/Profile.h"
#include "platform/Files.h"
#include "text/Text.h"

namespace {

std::string g_dir;

void RemoveDir() {
    std::remove((g_dir + "/pontaro.ini").c_str());
    rmdir(g_dir.c_str());
}

const std::string& ProfilePath() {
    static const std::string path = [] {
        // A save flushes the file to the disk; on tmpfs that costs nothing.
        const char* tmp = std::getenv("TMPDIR");
        std::string base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
        if (access("/dev/shm", W_OK) == 0) {
            base = "/dev/shm";
        }
        std::string pattern = base + "/pontaro-fuzz-profile.XXXXXX";
        FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
        g_dir = pattern;
        std::atexit(RemoveDir);
        return g_dir + "/pontaro.ini";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string contents(reinterpret_cast<const char*>(data), size);
    const std::string& path = ProfilePath();
    FUZZ_CHECK(platform::WriteFileAtomically(path, contents));

    Profile loaded(path);
    FUZZ_CHECK(!loaded.IsReadOnly());
    const char* keys[] = {settings::kRuleText, settings::kAutoUpdate, settings::kAutoMinimize};
    std::string before[3];
    for (int i = 0; i < 3; ++i) {
        before[i] = loaded.GetString(settings::kSection, keys[i], "\x01missing");
        // What the profile hands out is always shown as text.
        FUZZ_CHECK(text::SanitizeUtf8(before[i]) == before[i]);
        loaded.GetInt(settings::kSection, keys[i], 0);
    }

    // A save rewrites the whole file; what was read stays readable, and the
    // new value reads back as written.
    std::string value;
    for (char c : contents.substr(0, 256)) {
        if (c != '\r' && c != '\n') {
            value.push_back(c);
        }
    }
    FUZZ_CHECK(loaded.WriteString(settings::kSection, settings::kRuleText, value));
    Profile reread(path);
    FUZZ_CHECK(reread.GetString(settings::kSection, settings::kRuleText, "\x01missing") ==
               text::SanitizeUtf8(value));
    for (int i = 1; i < 3; ++i) {
        FUZZ_CHECK(reread.GetString(settings::kSection, keys[i], "\x01missing") == before[i]);
    }

    // The stored form of a rule text gives the text back.
    if (contents.find('\\') == std::string::npos) {
        FUZZ_CHECK(RuleTextFromStored(RuleTextToStored(contents)) == contents);
    }
    return 0;
}
