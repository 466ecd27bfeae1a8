#include "ui/win32/PortMapApp.h"

#include <commctrl.h>
#include <objbase.h>

#include "app/Profile.h"
#include "ui/win32/MainDialog.h"

int CPortMapApp::Run(HINSTANCE instance) {
    // A failure is not fatal: without COM the description reader fails and
    // the runs report failure in the log.
    const HRESULT com = CoInitialize(nullptr);

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    {
        Profile profile;
        win32ui::CMainDialog dialog(instance, &profile);
        dialog.DoModal(nullptr);
    }

    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}
