// What Pontaro opened on routers, kept in a file beside the profile so that
// it outlives the process: a rule taken out of its list is closed at the
// next run of that list, a mapping left for this machine's old address is
// still known after a restart, and `--close --all` can undo everything.
//
// The file is rewritten whole and atomically, as the profile is, and read
// again before every write, so that two processes (the window and a
// pontaro-cli) keep each other's entries. A file that cannot be read as a
// record is set aside under another name (nothing is lost) and an empty
// record started; a file that cannot be read at all is never written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The lists rules come from: a mapping is swept only by a run of its own list.
namespace record {
inline constexpr char kWindowList[] = "window";             // the window's rule box (the profile's)
inline constexpr char kCommandLineList[] = "command-line";  // rules given as arguments, stdin
// A rule file given with -f, named by its absolute path.
std::string FileList(const std::string& absolutePath);
}  // namespace record

struct OpenedEntry {
    // UPnP port mappings, UPnP IPv6 pinholes, PCP or NAT-PMP mappings.
    enum class Kind { kMapping, kPinhole, kPcp };
    // Written before the request, so that a process killed after the router
    // granted still leaves its trace; granted once the router said so.
    enum class State { kAsked, kGranted };
    Kind kind = Kind::kMapping;
    State state = State::kGranted;
    std::string routerUdn;      // the UPnP device; empty when it named none, and for PCP
    std::string routerAddress;  // where it answered from; PCP: the gateway
    std::string protocol;       // as sent: "TCP", "UDP"
    int externalPort = 0;       // as granted; pinholes have none
    int requestedPort = 0;      // PCP: the rule's external port (the router may grant another)
    std::string internalClient;
    int internalPort = 0;
    std::string description;     // UPnP mappings: as sent; the others: the rule's
    std::string uniqueId;        // pinholes: the router's number for it
    std::uint32_t lifetime = 0;  // seconds the router keeps it unless renewed; 0: for good
    std::string list;
    std::int64_t confirmed = 0;  // seconds since 1970: when a router last said it stands
    // Fields a newer Pontaro wrote, kept as they were.
    std::vector<std::pair<std::string, std::string>> otherFields;

    bool operator==(const OpenedEntry&) const = default;
};

// Whether two entries name the same router: by UDN when both have one, else
// by address.
bool SameRouter(const OpenedEntry& a, const OpenedEntry& b);
// Whether `b` would take `a`'s place: the same kind and state on the same
// router, and the same port there (mappings: external port and protocol;
// pinholes and PCP: internal client, port and protocol).
bool SameSlot(const OpenedEntry& a, const OpenedEntry& b);

// The file's text, read or to be written.
struct RecordText {
    static constexpr unsigned kVersion = 1;
    unsigned version = kVersion;  // the newest format the file has seen
    std::vector<OpenedEntry> entries;
    std::vector<std::string> newerLines;  // entries of a newer format, as they were
};
// False when the text is no whole record: no version line, a line that is
// not an entry, or no end line counting them (a file cut short).
bool ParseRecord(std::string_view text, RecordText* record);
std::string FormatRecord(const RecordText& record);

class OpenedRecord {
public:
    // `path` empty: kept in memory only (tests).
    explicit OpenedRecord(std::string path = std::string());

    const std::string& Path() const { return path_; }
    void SetPath(std::string path) { path_ = std::move(path); }

    // What went wrong with the file, each told once per process.
    struct Trouble {
        enum class What {
            kSetAside,    // not a record: renamed to `aside`, an empty one started
            kUnreadable,  // exists but cannot be read: nothing is written to it
            kNotSaved,    // could not be written (a full disk, a read-only folder)
        };
        What what = What::kSetAside;
        std::string path;
        std::string aside;
    };
    // The troubles since the last call, each kind once per process.
    std::vector<Trouble> TakeTroubles();

    // Reads the file again (the start of a run), and drops what routers
    // have dropped by now: entries whose lifetime is over.
    void Refresh();
    const std::vector<OpenedEntry>& Entries() const { return text_.entries; }

    // Reads the file again, takes `entry` in place of the one of its slot,
    // and writes the file.
    void Put(const OpenedEntry& entry);
    // The same for a granted entry, which also takes the place of the asked
    // one of its slot (fields of a newer Pontaro are kept).
    void Grant(OpenedEntry granted);
    // The same without the entry of `entry`'s slot.
    void Drop(const OpenedEntry& entry);
    // Any change: reads the file again, applies `edit` to its entries, and
    // writes it (when `edit` answers true).
    void Change(const std::function<bool(std::vector<OpenedEntry>&)>& edit);
    // The entry of that slot still stands (now): written at the next Flush,
    // so that a run of unchanged rules writes the file once.
    void Confirm(const OpenedEntry& entry);
    void Flush();

    // Seconds since 1970; tests set it.
    std::function<std::int64_t()> now;

    // The record file beside a profile at `profilePath`.
    static std::string PathBeside(const std::string& profilePath);
    // Larger is no record of this program's: set aside.
    static constexpr std::size_t kMaxBytes = 4 * 1024 * 1024;

private:
    // Reads the file into text_ (a file that is no record is set aside);
    // false when the file cannot be written back.
    bool Load();
    void Save();
    void Tell(Trouble trouble);

    std::string path_;
    RecordText text_;
    bool writable_ = true;
    bool exists_ = false;                 // the file was there at the last read
    bool unsaved_ = false;                // the last save failed: memory holds what the file lacks
    std::vector<OpenedEntry> confirmed_;  // waiting for Flush
    std::vector<Trouble> troubles_;
    std::vector<Trouble::What> told_;
};
