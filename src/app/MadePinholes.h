// The IPv6 pinholes this process opened, with the UniqueID the router gave
// each: the service can renew or delete a pinhole only by that number, and
// it has no action that lists them. In memory only, like MadeMappings.
#pragma once

#include <string>
#include <vector>

struct MadePinhole {
    std::string address;   // this machine's address, as text
    int port = 0;          // the rule's internal port
    std::string protocol;  // "TCP" or "UDP"
    std::string uniqueId;
};

class MadePinholes {
public:
    // The router's number for that pinhole; nullptr when this process has none.
    const MadePinhole* Find(const std::string& address, int port,
                            const std::string& protocol) const;
    void Remember(const MadePinhole& pinhole);
    void Forget(const std::string& address, int port, const std::string& protocol);

    const std::vector<MadePinhole>& Entries() const { return entries_; }

private:
    std::vector<MadePinhole> entries_;
};
