#include "ui/win32/VersionBox.h"

#include "resource.h"
#include "ui/win32/CatalogTexts.h"

namespace win32ui {

CVersionBox::CVersionBox(HINSTANCE instance) : CDialogBase(instance, IDD_ABOUTBOX) {}

INT_PTR CVersionBox::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        using texts::Msg;
        SetCatalogTexts(Handle(), {{0, Msg::kVersionBoxCaption},
                                   {IDC_ABOUT_NOTICE, Msg::kVersionBoxNotice},
                                   {IDOK, Msg::kVersionBoxOk}});
        FitRowToTexts(Handle(), {IDC_ABOUT_NOTICE}, IDOK, 0);
    }
    return CDialogBase::HandleMessage(message, wParam, lParam);
}

}  // namespace win32ui
