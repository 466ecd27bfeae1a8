#include "ui/win32/PortMapApp.h"

#include <commctrl.h>

#include "app/Profile.h"
#include "ui/win32/MainDialog.h"

int CPortMapApp::Run(HINSTANCE instance) {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    {
        Profile profile;
        win32ui::CMainDialog dialog(instance, &profile);
        dialog.DoModal(nullptr);
    }
    return 0;
}
