#pragma once

#include <cstdint>
#include <string>

// An IPv4 address held in network byte order (first octet in the
// lowest-addressed byte).
class IpAddress {
public:
    IpAddress() = default;
    explicit IpAddress(std::uint32_t networkOrder) : value_(networkOrder) {}
    IpAddress(const IpAddress&) = default;
    IpAddress& operator=(const IpAddress&) = default;

    void Set(std::uint32_t networkOrder) { value_ = networkOrder; }
    std::uint32_t Value() const { return value_; }
    // Dotted decimal, as inet_ntoa prints it.
    std::string ToText() const;

    bool operator==(const IpAddress& other) const { return value_ == other.value_; }

private:
    std::uint32_t value_ = 0;
};
