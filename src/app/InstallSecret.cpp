#include "app/InstallSecret.h"

#include "platform/Random.h"

namespace {

constexpr std::size_t kSecretBytes = 16;

std::string Hex(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += kDigits[b >> 4];
        out += kDigits[b & 0x0F];
    }
    return out;
}

}  // namespace

std::string InstallSecret(Profile& profile) {
    std::string secret = profile.GetString(settings::kSection, settings::kPcpSecret, "");
    if (!secret.empty()) {
        return secret;
    }
    std::string bytes;
    if (!platform::RandomBytes(kSecretBytes, &bytes)) {
        return std::string();
    }
    secret = Hex(bytes);
    profile.WriteString(settings::kSection, settings::kPcpSecret, secret);
    return secret;
}
