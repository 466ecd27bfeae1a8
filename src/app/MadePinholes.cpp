#include "app/MadePinholes.h"

#include <algorithm>

namespace {

struct Same {
    const std::string& address;
    int port;
    const std::string& protocol;
    bool operator()(const MadePinhole& p) const {
        return p.address == address && p.port == port && p.protocol == protocol;
    }
};

}  // namespace

const MadePinhole* MadePinholes::Find(const std::string& address, int port,
                                      const std::string& protocol) const {
    const auto it = std::find_if(entries_.begin(), entries_.end(), Same{address, port, protocol});
    return it == entries_.end() ? nullptr : &*it;
}

void MadePinholes::Remember(const MadePinhole& pinhole) {
    Forget(pinhole.address, pinhole.port, pinhole.protocol);
    entries_.push_back(pinhole);
}

void MadePinholes::Forget(const std::string& address, int port, const std::string& protocol) {
    std::erase_if(entries_, Same{address, port, protocol});
}
