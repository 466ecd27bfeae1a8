// The ports one subscriber of a shared IPv4 address owns (RFC 7597 §5.1):
// port A·2^(16−a) + PSID·2^m + j, with a the PSID offset, k the PSID length,
// m = 16 − a − k, A from 1 (every port below 2^(16−a) belongs to nobody)
// and j over each block of 2^m ports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace line {

struct PortRange {
    std::uint16_t first = 0;
    std::uint16_t last = 0;
    bool operator==(const PortRange&) const = default;
};

class PortSet {
public:
    // No port at all.
    PortSet() = default;
    // `psid` has `psidLength` bits; offset + length at most 16.
    PortSet(std::uint16_t psid, unsigned psidLength, unsigned offset);

    // Ports outside 1-65535 are in no set.
    bool Contains(long port) const;
    std::size_t Count() const;
    // In port order.
    std::vector<PortRange> Blocks() const;
    // The nearest whole block that ends below `port`, and the one that
    // begins above it.
    std::optional<PortRange> BlockBelow(long port) const;
    std::optional<PortRange> BlockAbove(long port) const;

    std::uint16_t Psid() const { return psid_; }
    unsigned PsidLength() const { return k_; }
    unsigned Offset() const { return a_; }

private:
    std::uint32_t BlockSize() const { return 1u << m_; }
    // The first port of block A.
    std::uint32_t First(std::uint32_t a) const;
    std::uint32_t FirstA() const { return a_ == 0 ? 0 : 1; }
    // Below it, block 0: nobody's ports (the system's, on the line's side).
    std::uint32_t LowestPort() const { return a_ == 0 ? 0 : 1u << (16 - a_); }
    std::uint32_t LastA() const { return (1u << a_) - 1; }

    bool empty_ = true;
    std::uint16_t psid_ = 0;
    unsigned k_ = 0;  // PSID length
    unsigned a_ = 0;  // PSID offset
    unsigned m_ = 0;  // bits of the port within a block
};

}  // namespace line
