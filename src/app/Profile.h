// The settings file shared by every front end: a UTF-8 INI file of sections
// and key=value lines, at platform::DefaultProfilePath() unless a path is given.
//
// Reading is lenient (lines that are not key=value, and unknown keys, are
// ignored; a missing key gives the caller's default). Saving rewrites the whole
// file atomically. A file that exists but cannot be read makes the profile
// read-only for its lifetime, so that saving cannot wipe settings the user
// still has on disk.
#pragma once

#include <string>
#include <utility>
#include <vector>

class Profile {
public:
    Profile();                           // the platform's default path
    explicit Profile(std::string path);  // tests and the command line
    virtual ~Profile() = default;

    const std::string& Path() const { return path_; }
    // true when the file existed but could not be read: nothing is ever saved.
    bool IsReadOnly() const { return readOnly_; }

    std::string GetString(const std::string& section, const std::string& key,
                          const std::string& defaultValue) const;
    // Decimal text with atoi rules; `defaultValue` when the key is missing.
    int GetInt(const std::string& section, const std::string& key, int defaultValue) const;
    // A switch stored as 1 or 0; `defaultValue` when the key is missing or
    // holds anything else, so that a damaged value cannot turn a switch off.
    bool GetSwitch(const std::string& section, const std::string& key, bool defaultValue) const;

    // Change the value and save the file. false when nothing was saved (a
    // read-only profile, or the file could not be written); the value is kept
    // in memory either way.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    bool WriteInt(const std::string& section, const std::string& key, int value);

private:
    void Load();
    bool Save() const;
    const std::string* Find(const std::string& section, const std::string& key) const;

    std::string path_;
    bool readOnly_ = false;
    // Sections and keys in file order, so that a save keeps the user's layout.
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> sections_;
};

// The settings of the main window.
namespace settings {
// "Setting" and "Close" are kept for compatibility with existing profiles.
inline constexpr char kSection[] = "Setting";
inline constexpr char kRuleText[] = "Setting";
inline constexpr char kAutoUpdate[] = "Auto";
inline constexpr char kAutoMinimize[] = "Close";
inline constexpr char kOpenIpv6[] = "OpenIPv6";  // 1: each rule also gets an IPv6 pinhole
}  // namespace settings

// The rule text is stored on one line: every CR LF becomes the four characters
// backslash, 'r', backslash, 'n', and back on loading.
std::string RuleTextToStored(const std::string& crlfText);
std::string RuleTextFromStored(const std::string& stored);
