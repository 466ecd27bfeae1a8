#include "app/OpenedRecord.h"

#include <algorithm>
#include <ctime>

#include "platform/Files.h"

OpenedRecord::OpenedRecord(std::string path)
    : now([] { return static_cast<std::int64_t>(std::time(nullptr)); }), path_(std::move(path)) {}

std::string OpenedRecord::PathBeside(const std::string& profilePath) {
    const std::size_t slash = profilePath.find_last_of("/\\");
    return (slash == std::string::npos ? std::string() : profilePath.substr(0, slash + 1)) +
           "opened-ports.txt";
}

void OpenedRecord::Tell(Trouble trouble) {
    // A file set aside is told each time one is; the other two say the
    // same thing every run, so once.
    if (trouble.what != Trouble::What::kSetAside) {
        if (std::find(told_.begin(), told_.end(), trouble.what) != told_.end()) {
            return;
        }
        told_.push_back(trouble.what);
    }
    troubles_.push_back(std::move(trouble));
}

std::vector<OpenedRecord::Trouble> OpenedRecord::TakeTroubles() {
    return std::exchange(troubles_, {});
}

bool OpenedRecord::Load() {
    // Memory only, or memory holds what a failed save could not put into
    // the file: the file's older text must not take its place.
    if (path_.empty() || unsaved_) {
        return writable_;
    }
    std::string contents;
    switch (platform::ReadWholeFile(path_, &contents)) {
        case platform::ReadResult::kMissing:
            text_ = RecordText();
            exists_ = false;
            writable_ = true;
            return true;
        case platform::ReadResult::kUnreadable:
            // What this process knows stays in memory; the file is left alone.
            writable_ = false;
            Tell({Trouble::What::kUnreadable, path_, {}});
            return false;
        case platform::ReadResult::kOk:
            break;
    }
    RecordText read;
    if (contents.size() <= kMaxBytes && ParseRecord(contents, &read)) {
        text_ = std::move(read);
        exists_ = true;
        writable_ = true;
        return true;
    }
    for (int n = 1; n <= 10; ++n) {
        const std::string aside =
            path_ + ".damaged-" + std::to_string(now()) + (n > 1 ? "-" + std::to_string(n) : "");
        if (platform::RenameFile(path_, aside)) {
            Tell({Trouble::What::kSetAside, path_, aside});
            text_ = RecordText();
            exists_ = false;
            writable_ = true;
            return true;
        }
        if (platform::ReadWholeFile(path_, &contents) == platform::ReadResult::kMissing) {
            // Another process set it aside first.
            text_ = RecordText();
            exists_ = false;
            writable_ = true;
            return true;
        }
    }
    writable_ = false;
    Tell({Trouble::What::kUnreadable, path_, {}});
    return false;
}

void OpenedRecord::Save() {
    if (path_.empty() || !writable_ ||
        (!exists_ && text_.entries.empty() && text_.newerLines.empty())) {
        return;  // (no file is made for an empty record)
    }
    if (!platform::WriteFileAtomically(path_, FormatRecord(text_))) {
        unsaved_ = true;
        Tell({Trouble::What::kNotSaved, path_, {}});
        return;
    }
    unsaved_ = false;
    exists_ = true;
}

void OpenedRecord::Refresh() {
    Load();
    const std::int64_t at = now();
    const auto over = [at](const OpenedEntry& e) {
        return e.lifetime != 0 && e.confirmed + static_cast<std::int64_t>(e.lifetime) < at;
    };
    if (std::any_of(text_.entries.begin(), text_.entries.end(), over)) {
        Change([&](std::vector<OpenedEntry>& entries) { return std::erase_if(entries, over) > 0; });
    }
}

void OpenedRecord::Change(const std::function<bool(std::vector<OpenedEntry>&)>& edit) {
    Load();
    if (edit(text_.entries)) {
        Save();
    }
}

void OpenedRecord::Put(const OpenedEntry& entry) {
    Change([&entry](std::vector<OpenedEntry>& entries) {
        for (OpenedEntry& e : entries) {
            if (SameSlot(e, entry)) {
                e = entry;
                return true;
            }
        }
        entries.push_back(entry);
        return true;
    });
}

void OpenedRecord::Grant(OpenedEntry granted) {
    granted.state = OpenedEntry::State::kGranted;
    OpenedEntry asked = granted;
    asked.state = OpenedEntry::State::kAsked;
    Change([&](std::vector<OpenedEntry>& entries) {
        std::erase_if(entries, [&](const OpenedEntry& e) { return SameSlot(e, asked); });
        for (OpenedEntry& e : entries) {
            if (SameSlot(e, granted)) {
                if (granted.otherFields.empty()) {
                    granted.otherFields = e.otherFields;
                }
                e = granted;
                return true;
            }
        }
        entries.push_back(granted);
        return true;
    });
}

void OpenedRecord::Drop(const OpenedEntry& entry) {
    Change([&entry](std::vector<OpenedEntry>& entries) {
        return std::erase_if(entries, [&](const OpenedEntry& e) { return SameSlot(e, entry); }) > 0;
    });
}

namespace {

// Whether confirming `was` as `now` changes the file enough to write it. The
// time of a mapping for good only tells the user when it was last seen, so
// a run every ten minutes that changes nothing else rewrites (and syncs) the
// file once an hour, not every run; an entry with a lifetime is dropped by
// its time, which is therefore always written.
bool WorthWriting(const OpenedEntry& was, const OpenedEntry& now) {
    constexpr std::int64_t kConfirmedSlackSeconds = 3600;
    OpenedEntry timeless = now;
    timeless.confirmed = was.confirmed;
    return !(timeless == was) || was.lifetime != 0 ||
           now.confirmed - was.confirmed >= kConfirmedSlackSeconds || now.confirmed < was.confirmed;
}

}  // namespace

void OpenedRecord::Confirm(const OpenedEntry& entry) {
    OpenedEntry confirmed = entry;
    confirmed.confirmed = now();
    for (OpenedEntry& e : text_.entries) {
        if (SameSlot(e, confirmed)) {
            e = confirmed;
        }
    }
    std::erase_if(confirmed_, [&](const OpenedEntry& e) { return SameSlot(e, confirmed); });
    confirmed_.push_back(std::move(confirmed));
}

void OpenedRecord::Flush() {
    if (confirmed_.empty()) {
        return;
    }
    const std::vector<OpenedEntry> confirmed = std::exchange(confirmed_, {});
    // An entry another process dropped meanwhile (it closed the port) stays out.
    Change([&confirmed](std::vector<OpenedEntry>& entries) {
        bool changed = false;
        for (OpenedEntry& e : entries) {
            for (const OpenedEntry& c : confirmed) {
                if (SameSlot(e, c)) {
                    changed = changed || WorthWriting(e, c);
                    e = c;
                }
            }
        }
        return changed;
    });
}
