#include "line/PortSet.h"

namespace line {

PortSet::PortSet(std::uint16_t psid, unsigned psidLength, unsigned offset)
    : empty_(psidLength + offset > 16 || (psidLength < 16 && (psid >> psidLength) != 0)),
      psid_(psid),
      k_(psidLength),
      a_(offset),
      m_(empty_ ? 0 : 16 - offset - psidLength) {}

std::uint32_t PortSet::First(std::uint32_t a) const {
    return (a << (16 - a_)) | (static_cast<std::uint32_t>(psid_) << m_);
}

bool PortSet::Contains(long port) const {
    if (empty_ || port < 1 || port > 65535) {
        return false;
    }
    const auto p = static_cast<std::uint32_t>(port);
    const std::uint32_t mask = (1u << k_) - 1;
    return p >= LowestPort() && ((p >> m_) & mask) == psid_;
}

std::size_t PortSet::Count() const {
    return empty_ ? 0 : static_cast<std::size_t>(LastA() - FirstA() + 1) * BlockSize();
}

std::vector<PortRange> PortSet::Blocks() const {
    std::vector<PortRange> blocks;
    if (empty_) {
        return blocks;
    }
    for (std::uint32_t a = FirstA(); a <= LastA(); ++a) {
        const std::uint32_t first = First(a);
        blocks.push_back({static_cast<std::uint16_t>(first),
                          static_cast<std::uint16_t>(first + BlockSize() - 1)});
    }
    return blocks;
}

std::optional<PortRange> PortSet::BlockBelow(long port) const {
    std::optional<PortRange> below;
    for (const PortRange& b : Blocks()) {
        if (b.last < port) {
            below = b;
        }
    }
    return below;
}

std::optional<PortRange> PortSet::BlockAbove(long port) const {
    for (const PortRange& b : Blocks()) {
        if (b.first > port) {
            return b;
        }
    }
    return std::nullopt;
}

}  // namespace line
