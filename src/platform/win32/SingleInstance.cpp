#include <windows.h>

#include "platform/SingleInstance.h"
#include "platform/win32/ShowRequests.h"

namespace platform {

namespace {

// Local\: the objects of one logon session, that is one user's desktop.
constexpr wchar_t kMutexName[] = L"Local\\Pontaro.Window";
constexpr wchar_t kMarkProperty[] = L"Pontaro.ShowTarget";

BOOL CALLBACK FindMarked(HWND window, LPARAM found) {
    if (GetPropW(window, kMarkProperty) == nullptr) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

}  // namespace

InstanceLock::~InstanceLock() {
    if (handle_ != 0) {
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
    }
}

// The mutex exists while a handle to it is open: a crashed holder's handle
// is closed by the system, so nothing stale is left.
bool InstanceLock::TryTake() {
    if (handle_ != 0) {
        return true;
    }
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, kMutexName);
    if (mutex == nullptr) {
        return true;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    handle_ = reinterpret_cast<std::intptr_t>(mutex);
    return true;
}

void MarkShowTarget(HWND window) {
    SetPropW(window, kMarkProperty, reinterpret_cast<HANDLE>(1));
}

void UnmarkShowTarget(HWND window) {
    RemovePropW(window, kMarkProperty);
}

UINT ShowRequestMessage() {
    static const UINT message = RegisterWindowMessageW(L"Pontaro.ShowWindow");
    return message;
}

bool AskRunningInstanceToShow() {
    HWND target = nullptr;
    EnumWindows(FindMarked, reinterpret_cast<LPARAM>(&target));
    if (target == nullptr || ShowRequestMessage() == 0) {
        return false;
    }
    // The foreground belongs to this start, which the user just made; the
    // running program may take it over.
    DWORD process = 0;
    GetWindowThreadProcessId(target, &process);
    AllowSetForegroundWindow(process);
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(target, ShowRequestMessage(), 0, 0, SMTO_ABORTIFHUNG, 1000,
                               &answer) != 0 &&
           answer == static_cast<DWORD_PTR>(kShowRequestAnswer);
}

}  // namespace platform
