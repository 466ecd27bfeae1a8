#include "net/AddressScope.h"

#include <cstdint>

namespace {

// Host order, first octet in the top byte.
bool ParseDottedQuad(std::string_view text, std::uint32_t* out) {
    std::uint32_t value = 0;
    std::size_t i = 0;
    for (int octet = 0; octet < 4; ++octet) {
        if (octet > 0) {
            if (i >= text.size() || text[i] != '.') {
                return false;
            }
            ++i;
        }
        const std::size_t start = i;
        unsigned part = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 3) {
            part = part * 10 + static_cast<unsigned>(text[i] - '0');
            ++i;
        }
        if (i == start || part > 255) {
            return false;
        }
        value = (value << 8) | part;
    }
    if (i != text.size()) {
        return false;
    }
    *out = value;
    return true;
}

struct Block {
    std::uint32_t network;
    int prefixLength;
};

constexpr std::uint32_t Net(unsigned a, unsigned b, unsigned c, unsigned d) {
    return (a << 24) | (b << 16) | (c << 8) | d;
}

constexpr Block kNotRouted[] = {
    {Net(0, 0, 0, 0), 8},     {Net(10, 0, 0, 0), 8},      {Net(100, 64, 0, 0), 10},
    {Net(127, 0, 0, 0), 8},   {Net(169, 254, 0, 0), 16},  {Net(172, 16, 0, 0), 12},
    {Net(192, 0, 0, 0), 24},  {Net(192, 0, 2, 0), 24},    {Net(192, 168, 0, 0), 16},
    {Net(198, 18, 0, 0), 15}, {Net(198, 51, 100, 0), 24}, {Net(203, 0, 113, 0), 24},
    {Net(224, 0, 0, 0), 4},   {Net(240, 0, 0, 0), 4},
};

}  // namespace

bool IsPublicIPv4(std::string_view text) {
    std::uint32_t address = 0;
    if (!ParseDottedQuad(text, &address)) {
        return false;
    }
    for (const Block& block : kNotRouted) {
        const std::uint32_t mask = ~std::uint32_t{0} << (32 - block.prefixLength);
        if ((address & mask) == block.network) {
            return false;
        }
    }
    return true;
}
