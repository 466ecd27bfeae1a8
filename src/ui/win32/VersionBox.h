// The version box (template IDD_ABOUTBOX) with its texts from the catalog.
#pragma once

#include "ui/win32/DialogBase.h"

namespace win32ui {

class CVersionBox : public CDialogBase {
public:
    explicit CVersionBox(HINSTANCE instance);

protected:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace win32ui
