// The profile file under stress, one process of a test (profile-stress.sh):
//
//   pontaro_profile_stress write PATH NAME COUNT
//       saves the profile COUNT times, each time with a new rule text that
//       names NAME and the save's number; after every save the file must
//       parse and hold the complete text of one save (this writer's or
//       another's). Exit 0 when every save succeeded and every check held.
//   pontaro_profile_stress full PATH
//       PATH lies on a file system with no space left: a save fails, and
//       the file keeps its bytes and no temporary file is left beside it;
//       a run of the window's logic says so in the log and goes on.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "app/ActivityLog.h"
#include "app/Profile.h"
#include "app/WindowController.h"
#include "platform/Files.h"
#include "support/FakeWindow.h"

namespace {

// A text of about 8 KB that tells its writer and number, and whose every
// part depends on both, so a file torn between two saves cannot pass.
std::string RuleText(const std::string& name, int number) {
    std::string text = name + "#" + std::to_string(number) + ":";
    for (int line = 0; line < 200; ++line) {
        text += std::to_string(10000 + (number * 7 + line) % 50000) + ", " +
                std::to_string(line + 1) + ", TCP, " + name + "\\r\\n";
    }
    return text + "end";
}

// Whether the file holds exactly what one save writes.
bool HoldsOneSave(const std::string& path, std::string* why) {
    std::string raw;
    if (platform::ReadWholeFile(path, &raw) != platform::ReadResult::kOk) {
        *why = "the file cannot be read";
        return false;
    }
    // Parsed from a private copy: the file may be replaced again meanwhile.
    const std::string copy = path + ".check-" + std::to_string(std::rand());
    if (!platform::WriteFileAtomically(copy, raw)) {
        *why = "no private copy could be written";
        return false;
    }
    const Profile read(copy);
    std::remove(copy.c_str());
    const std::string text = read.GetString(settings::kSection, settings::kRuleText, "");
    const std::size_t hash = text.find('#');
    const std::size_t colon = text.find(':');
    if (hash == std::string::npos || colon == std::string::npos || colon < hash) {
        *why = "no complete rule text: " + text.substr(0, 80);
        return false;
    }
    const std::string name = text.substr(0, hash);
    const int number = std::atoi(text.substr(hash + 1, colon - hash - 1).c_str());
    const std::string expected = "[Setting]\nSetting=" + RuleText(name, number) + "\n";
    if (raw != expected) {
        *why = "the file is not one save's content (" + std::to_string(raw.size()) + " bytes)";
        return false;
    }
    return true;
}

int Write(const std::string& path, const std::string& name, int count) {
    std::srand(static_cast<unsigned>(std::hash<std::string>()(name)));
    Profile profile(path);
    int failures = 0;
    for (int i = 0; i < count && failures < 5; ++i) {
        std::string why;
        if (!profile.WriteString(settings::kSection, settings::kRuleText, RuleText(name, i))) {
            std::fprintf(stderr, "%s: save %d failed\n", name.c_str(), i);
            ++failures;
        } else if (!HoldsOneSave(path, &why)) {
            std::fprintf(stderr, "%s: after save %d: %s\n", name.c_str(), i, why.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

int Full(const std::string& path) {
    std::string before;
    if (platform::ReadWholeFile(path, &before) != platform::ReadResult::kOk) {
        std::fprintf(stderr, "no profile at %s to start from\n", path.c_str());
        return 1;
    }
    Profile profile(path);
    int failures = 0;
    if (profile.WriteString(settings::kSection, settings::kRuleText, RuleText("full", 1))) {
        std::fprintf(stderr, "a save on a full disk reported success\n");
        ++failures;
    }
    std::string after;
    if (platform::ReadWholeFile(path, &after) != platform::ReadResult::kOk || after != before) {
        std::fprintf(stderr, "the profile changed during the failed save\n");
        ++failures;
    }
    // A run with the profile on the full disk: the search goes nowhere (no
    // target), so the run ends with the not-found text after the save's.
    {
        Profile runProfile(path);
        FakeWindow window;
        window.rules = "80, 80, TCP, full disk";
        WindowController controller(window, &runProfile);
        DiscoveryTargets& targets = controller.Session().targets;
        targets.useMulticast = false;
        targets.useDefaultGateways = false;
        targets.listenMs = 100;
        controller.Open();
        if (window.log != std::string(activity_log::kSaveFailed) + activity_log::kNotFound +
                              activity_log::kRunEnd) {
            std::fprintf(stderr, "the run's log: %s\n", window.log.c_str());
            ++failures;
        }
    }
    if (platform::ReadWholeFile(path, &after) != platform::ReadResult::kOk || after != before) {
        std::fprintf(stderr, "the profile changed during the run\n");
        ++failures;
    }
    const std::filesystem::path dir = std::filesystem::path(path).parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string file = entry.path().filename().string();
        if (file != std::filesystem::path(path).filename().string() && file != "filler") {
            std::fprintf(stderr, "left beside the profile: %s\n", file.c_str());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "write" && argc == 5) {
        return Write(argv[2], argv[3], std::atoi(argv[4]));
    }
    if (mode == "full" && argc == 3) {
        return Full(argv[2]);
    }
    std::fprintf(stderr, "usage: pontaro_profile_stress write PATH NAME COUNT | full PATH\n");
    return 2;
}
