#include <windows.h>

#include <optional>

#include "platform/LoginEntry.h"
#include "platform/LoginEntryText.h"
#include "platform/win32/Utf16.h"

namespace platform {

namespace {

// The per-user key, shared by 32- and 64-bit programs (not redirected).
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kValueName[] = L"Pontaro";
// Longer than any path Windows starts; a longer value is not ours.
constexpr DWORD kMaxValueBytes = 65536;

std::optional<std::wstring> ReadRunValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::optional<std::wstring> value;
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, kValueName, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ) && bytes <= kMaxValueBytes) {
        std::wstring data(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD got = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        if (RegQueryValueExW(key, kValueName, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                             &got) == ERROR_SUCCESS) {
            // The stored value need not end in a zero.
            data.resize(got / sizeof(wchar_t));
            value = data.substr(0, data.find(L'\0'));
        }
    }
    RegCloseKey(key);
    return value;
}

// File names compare without regard to letter case, as NTFS does.
bool SameFile(const std::string& a, const std::string& b) {
    const std::wstring wa = Widen(a);
    const std::wstring wb = Widen(b);
    return !wa.empty() && CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(),
                                               static_cast<int>(wb.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

std::string ThisProgram() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) {
            return std::string();
        }
        if (n < path.size()) {
            path.resize(n);
            return Narrow(path);
        }
        path.resize(path.size() * 2);
    }
}

bool StartsAtLogin(const std::string& program) {
    const std::optional<std::wstring> value = ReadRunValue();
    if (!value) {
        return false;
    }
    const std::optional<std::string> started = RunValueProgram(Narrow(*value));
    return started && SameFile(*started, program);
}

bool SetStartAtLogin(const std::string& program, bool on) {
    if (!on && !StartsAtLogin(program)) {
        return true;  // nothing of ours there
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LSTATUS status = ERROR_INVALID_DATA;
    if (on) {
        const std::wstring text = Widen(RunValueText(program));
        if (!text.empty()) {
            status = RegSetValueExW(key, kValueName, 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(text.c_str()),
                                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        }
    } else {
        status = RegDeleteValueW(key, kValueName);
        if (status == ERROR_FILE_NOT_FOUND) {
            status = ERROR_SUCCESS;
        }
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS && StartsAtLogin(program) == on;
}

}  // namespace platform
