// Entries of the record of what Pontaro opened, as runs against the scripted
// gateway (127.0.0.1, no UDN) leave them.
#pragma once

#include <string>
#include <vector>

#include "app/MadeMappings.h"
#include "app/OpenedRecord.h"
#include "app/PortMappingRule.h"
#include "text/Text.h"

// The mapping a run would record for `ruleLine` ("8080, 8080, TCP, web").
inline OpenedEntry RecordedMapping(const std::string& ruleLine, const std::string& client,
                                   const std::string& list = record::kCommandLineList,
                                   OpenedEntry::State state = OpenedEntry::State::kGranted,
                                   const std::string& router = "127.0.0.1") {
    PortMappingRule rule;
    ParseRuleLine(ruleLine, &rule);
    OpenedRecord inMemory;
    inMemory.now = [] { return std::int64_t{0}; };
    return MadeMappings(inMemory, RecordPlace{OpenedEntry::Kind::kMapping, {}, router, list})
        .EntryFor(rule, client, state);
}

inline OpenedEntry RecordedPinhole(const std::string& address, int port,
                                   const std::string& protocol, const std::string& uniqueId,
                                   const std::string& list, const std::string& router = "::1") {
    OpenedEntry e;
    e.kind = OpenedEntry::Kind::kPinhole;
    e.routerAddress = router;
    e.protocol = protocol;
    e.internalClient = address;
    e.internalPort = port;
    e.uniqueId = uniqueId;
    e.list = list;
    return e;
}

// "8080/TCP 10.0.0.2" for each mapping entry, in the record's order.
inline std::vector<std::string> RecordedPorts(const std::vector<OpenedEntry>& entries) {
    std::vector<std::string> ports;
    for (const OpenedEntry& e : entries) {
        if (e.kind != OpenedEntry::Kind::kPinhole) {
            ports.push_back(std::to_string(e.externalPort) + "/" + e.protocol + " " +
                            e.internalClient);
        }
    }
    return ports;
}
inline std::vector<std::string> RecordedPorts(const OpenedRecord& record) {
    return RecordedPorts(record.Entries());
}

// What a record file holds, as another process would read it.
inline std::vector<OpenedEntry> RecordOnDisk(const std::string& path) {
    OpenedRecord record(path);
    record.Refresh();
    return record.Entries();
}
