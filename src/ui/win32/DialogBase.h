// A thin modal-dialog layer over DialogBoxParamW: the object is reached from
// the dialog procedure through DWLP_USER, messages go to one virtual
// handler, and a few helpers move values between controls and fields.
#pragma once

#include <windows.h>

#include <string>

namespace win32ui {

class CDialogBase {
public:
    CDialogBase(HINSTANCE instance, int templateId);
    virtual ~CDialogBase();
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    // Runs the dialog until EndDialog; returns its result, or -1 when the
    // template could not be loaded.
    INT_PTR DoModal(HWND owner);

    HWND Handle() const { return hwnd_; }
    HINSTANCE Instance() const { return instance_; }

protected:
    // Every message after WM_INITDIALOG's arrival. Returns what the dialog
    // procedure returns: FALSE leaves the message to default processing.
    // The base ends the dialog on IDOK and IDCANCEL.
    virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void EndDialog(INT_PTR result);

    // Data exchange with the controls (texts are UTF-8).
    std::string GetItemText(int id) const;
    void SetItemText(int id, const std::string& text);
    bool GetCheck(int id) const;
    void SetCheck(int id, bool on);
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HINSTANCE instance_;
    int templateId_;
    HWND hwnd_ = nullptr;
};

// The whole text of a window (any length), as UTF-8.
std::string GetWindowTextUtf8(HWND hwnd);
void SetWindowTextUtf8(HWND hwnd, const std::string& text);

}  // namespace win32ui
