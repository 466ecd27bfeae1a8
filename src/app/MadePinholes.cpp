#include "app/MadePinholes.h"

#include "text/Text.h"
#include "upnp/RouterDevice.h"

MadePinholes::MadePinholes(OpenedRecord& record, RecordPlace place)
    : record_(record), place_(std::move(place)) {
    place_.kind = OpenedEntry::Kind::kPinhole;
}

OpenedEntry MadePinholes::EntryFor(const std::string& address, int port,
                                   const std::string& protocol, OpenedEntry::State state) const {
    OpenedEntry e = place_.Entry();
    e.state = state;
    e.internalClient = address;
    e.internalPort = port;
    e.protocol = text::AsciiUpper(protocol);
    e.confirmed = record_.now();
    return e;
}

const OpenedEntry* MadePinholes::Granted(const std::string& address, int port,
                                         const std::string& protocol) const {
    const OpenedEntry pattern = EntryFor(address, port, protocol, OpenedEntry::State::kGranted);
    for (const OpenedEntry& e : record_.Entries()) {
        if (SameSlot(e, pattern)) {
            return &e;
        }
    }
    return nullptr;
}

std::optional<std::string> MadePinholes::Find(const std::string& address, int port,
                                              const std::string& protocol) const {
    const OpenedEntry* known = Granted(address, port, protocol);
    return known != nullptr ? std::optional<std::string>(known->uniqueId) : std::nullopt;
}

void MadePinholes::Asking(const std::string& address, int port, const std::string& protocol,
                          const std::string& description) {
    if (port < 0 || port > 65535) {
        return;
    }
    OpenedEntry asked = EntryFor(address, port, protocol, OpenedEntry::State::kAsked);
    asked.description = description;
    // An asked pinhole that stays unconfirmed lasts as long as a granted one.
    asked.lifetime = CRouterDevice::kLongestPinholeSeconds;
    record_.Put(asked);
}

void MadePinholes::Remember(const std::string& address, int port, const std::string& protocol,
                            const std::string& uniqueId, const std::string& description,
                            std::uint32_t lifetime) {
    if (port < 0 || port > 65535) {
        return;
    }
    OpenedEntry granted = EntryFor(address, port, protocol, OpenedEntry::State::kGranted);
    granted.uniqueId = uniqueId;
    granted.description = description;
    granted.lifetime = lifetime;
    record_.Grant(granted);
}

void MadePinholes::Refused(const std::string& address, int port, const std::string& protocol) {
    record_.Drop(EntryFor(address, port, protocol, OpenedEntry::State::kAsked));
}

void MadePinholes::Renewed(const std::string& address, int port, const std::string& protocol,
                           std::uint32_t lifetime) {
    if (const OpenedEntry* known = Granted(address, port, protocol)) {
        OpenedEntry renewed = *known;
        renewed.lifetime = lifetime;
        renewed.list = place_.list;
        record_.Confirm(renewed);
    }
}

void MadePinholes::Forget(const std::string& address, int port, const std::string& protocol) {
    const OpenedEntry granted = EntryFor(address, port, protocol, OpenedEntry::State::kGranted);
    OpenedEntry asked = granted;
    asked.state = OpenedEntry::State::kAsked;
    record_.Change([&](std::vector<OpenedEntry>& entries) {
        return std::erase_if(entries, [&](const OpenedEntry& e) {
                   return SameSlot(e, asked) || SameSlot(e, granted);
               }) > 0;
    });
}
