#include "pcp/MappingNonce.h"

#include <string>

#include "pcp/ByteOrder.h"

namespace pcp {
namespace {

// FNV-1a, 64 bits: small, fixed and the same everywhere. The nonce needs no
// secrecy beyond that of `secret`; it only has to differ between mappings
// and stay the same for one.
std::uint64_t Fnv1a(std::string_view data, std::uint64_t basis) {
    std::uint64_t h = basis;
    for (const char c : data) {
        h ^= static_cast<std::uint8_t>(c);
        h *= 0x100000001B3ull;
    }
    return h;
}

}  // namespace

Nonce DeriveNonce(std::uint32_t clientAddress, Transport transport, std::uint16_t internalPort,
                  std::string_view secret) {
    std::string input;
    PutIPv4(input, clientAddress);
    input.push_back(static_cast<char>(transport));
    PutU16(input, internalPort);
    input.append(secret);
    const std::uint64_t first = Fnv1a(input, 0xCBF29CE484222325ull);
    const std::uint64_t second = Fnv1a(input, first);
    Nonce nonce{};
    for (std::size_t i = 0; i < nonce.size(); ++i) {
        const std::uint64_t word = i < 8 ? first : second;
        nonce[i] = static_cast<std::uint8_t>(word >> (8 * (i % 8)));
    }
    return nonce;
}

}  // namespace pcp
