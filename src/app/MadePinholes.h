// The IPv6 pinholes Pontaro opened through the router a run found, with the
// UniqueID the router gave each, as the record (OpenedRecord.h) holds them:
// the service can renew or delete a pinhole only by that number, and it has
// no action that lists them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/MadeMappings.h"
#include "app/OpenedRecord.h"

class MadePinholes {
public:
    // Both outlive the view; `place.kind` is a pinhole's.
    MadePinholes(OpenedRecord& record, RecordPlace place);

    // The router's number for the pinhole of `address`, `port` and
    // `protocol`; nothing when none is recorded.
    std::optional<std::string> Find(const std::string& address, int port,
                                    const std::string& protocol) const;
    // Before AddPinhole; then the number the router gave, or its no.
    void Asking(const std::string& address, int port, const std::string& protocol,
                const std::string& description);
    void Remember(const std::string& address, int port, const std::string& protocol,
                  const std::string& uniqueId, const std::string& description,
                  std::uint32_t lifetime);
    void Refused(const std::string& address, int port, const std::string& protocol);
    // Renewed by its number for `lifetime` seconds more.
    void Renewed(const std::string& address, int port, const std::string& protocol,
                 std::uint32_t lifetime);
    void Forget(const std::string& address, int port, const std::string& protocol);

    std::vector<OpenedEntry> Entries() const { return place_.EntriesOf(record_); }

private:
    OpenedEntry EntryFor(const std::string& address, int port, const std::string& protocol,
                         OpenedEntry::State state) const;
    const OpenedEntry* Granted(const std::string& address, int port,
                               const std::string& protocol) const;

    OpenedRecord& record_;
    RecordPlace place_;
};
