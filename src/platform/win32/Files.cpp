#include <windows.h>

#include <shlobj.h>

#include <cstdlib>
#include <cwchar>

#include "platform/Files.h"
#include "platform/win32/Utf16.h"

namespace platform {

namespace {

std::size_t LastSeparator(const std::wstring& path) {
    return path.find_last_of(L"\\/");
}

bool MakeDirectories(const std::wstring& dir) {
    if (dir.empty() || (dir.size() == 2 && dir[1] == L':')) {
        return true;  // the current directory or a drive root
    }
    const DWORD attributes = GetFileAttributesW(dir.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    const std::size_t slash = LastSeparator(dir);
    if (slash != std::wstring::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash))) {
        return false;
    }
    return CreateDirectoryW(dir.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool WriteAll(HANDLE file, const std::string& contents) {
    std::size_t done = 0;
    while (done < contents.size()) {
        const std::size_t rest = contents.size() - done;
        const DWORD chunk = rest > 0x40000000u ? 0x40000000u : static_cast<DWORD>(rest);
        DWORD written = 0;
        if (!WriteFile(file, contents.data() + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

}  // namespace

ReadResult ReadWholeFile(const std::string& path, std::string* contents) {
    const std::wstring wide = Widen(path);
    if (wide.empty()) {
        return ReadResult::kMissing;
    }
    // FILE_SHARE_DELETE: a save by another process may replace the file
    // while it is being read here.
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? ReadResult::kMissing
                   : ReadResult::kUnreadable;  // also a directory (access denied)
    }
    std::string data;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
            ok = false;
            break;
        }
        if (n == 0) {
            break;
        }
        data.append(buffer, n);
    }
    CloseHandle(file);
    if (!ok) {
        return ReadResult::kUnreadable;
    }
    *contents = std::move(data);
    return ReadResult::kOk;
}

bool WriteFileAtomically(const std::string& path, const std::string& contents) {
    const std::wstring target = Widen(path);
    if (target.empty()) {
        return false;
    }
    const std::size_t slash = LastSeparator(target);
    if (slash != std::wstring::npos && !MakeDirectories(target.substr(0, slash))) {
        return false;
    }
    // Beside the target, so that the rename stays on one volume.
    static LONG counter = 0;
    const std::wstring temp = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                              std::to_wstring(InterlockedIncrement(&counter)) + L".tmp";
    const HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = WriteAll(file, contents);
    ok = FlushFileBuffers(file) && ok;
    ok = CloseHandle(file) && ok;
    // Another process that reads or replaces the file at this moment makes
    // the move fail for a short while (sharing violation, access denied).
    for (int attempt = 0; ok; ++attempt) {
        if (MoveFileExW(temp.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            break;
        }
        const DWORD error = GetLastError();
        if (attempt >= 50 || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
                              error != ERROR_LOCK_VIOLATION)) {
            ok = false;
            break;
        }
        Sleep(10);
    }
    if (!ok) {
        DeleteFileW(temp.c_str());
    }
    return ok;
}

bool RenameFile(const std::string& from, const std::string& to) {
    const std::wstring source = Widen(from);
    const std::wstring target = Widen(to);
    // Without MOVEFILE_REPLACE_EXISTING an existing target makes it fail.
    return !source.empty() && !target.empty() &&
           MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

std::string AbsolutePath(const std::string& path) {
    const std::wstring wide = Widen(path);
    if (wide.empty()) {
        return path;
    }
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return path;
    }
    std::wstring full(size, L'\0');
    const DWORD written = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (written == 0 || written >= size) {
        return path;
    }
    full.resize(written);
    return Narrow(full);
}

std::string DefaultProfilePath() {
    wchar_t folder[MAX_PATH] = {};
    std::wstring base;
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        base = folder;
    } else if (const wchar_t* appData = _wgetenv(L"APPDATA"); appData != nullptr && *appData) {
        base = appData;
    } else {
        return "Pontaro.ini";  // beside wherever the program runs
    }
    return Narrow(base + L"\\Pontaro\\Pontaro.ini");
}

}  // namespace platform
