#include "ui/win32/DialogBase.h"

#include "platform/win32/Utf16.h"

namespace win32ui {

CDialogBase::CDialogBase(HINSTANCE instance, int templateId)
    : instance_(instance), templateId_(templateId) {}

CDialogBase::~CDialogBase() = default;

INT_PTR CDialogBase::DoModal(HWND owner) {
    return DialogBoxParamW(instance_, MAKEINTRESOURCEW(templateId_), owner,
                           &CDialogBase::DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialogBase* self;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialogBase*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->hwnd_ = hwnd;
    } else {
        self = reinterpret_cast<CDialogBase*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    // WM_SETFONT and a few others come before WM_INITDIALOG.
    if (self == nullptr)
        return FALSE;
    const INT_PTR result = self->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

INT_PTR CDialogBase::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED &&
        (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

void CDialogBase::EndDialog(INT_PTR result) {
    ::EndDialog(hwnd_, result);
}

std::string CDialogBase::GetItemText(int id) const {
    return GetWindowTextUtf8(Item(id));
}

void CDialogBase::SetItemText(int id, const std::string& text) {
    SetWindowTextUtf8(Item(id), text);
}

bool CDialogBase::GetCheck(int id) const {
    return IsDlgButtonChecked(hwnd_, id) == BST_CHECKED;
}

void CDialogBase::SetCheck(int id, bool on) {
    CheckDlgButton(hwnd_, id, on ? BST_CHECKED : BST_UNCHECKED);
}

std::string GetWindowTextUtf8(HWND hwnd) {
    if (hwnd == nullptr)
        return {};
    const LRESULT length = SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied =
        SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return platform::Narrow(text);
}

void SetWindowTextUtf8(HWND hwnd, const std::string& text) {
    if (hwnd == nullptr)
        return;
    const std::wstring wide = platform::Widen(text);
    SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

}  // namespace win32ui
