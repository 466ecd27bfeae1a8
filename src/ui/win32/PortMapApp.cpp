#include "ui/win32/PortMapApp.h"

#include <commctrl.h>

#include "app/Profile.h"
#include "app/SingleStart.h"
#include "app/texts/Language.h"
#include "platform/Console.h"
#include "platform/SingleInstance.h"
#include "ui/win32/MainDialog.h"

int CPortMapApp::Run(HINSTANCE instance) {
    texts::SetLanguageAtStart({});  // PONTARO_LANG, else the user's UI language
    const bool atLogin = single_start::StartedAtLogin(platform::Utf8Arguments(0, nullptr));
    // Held until the process ends. A later start shows this window instead.
    platform::InstanceLock lock;
    if (single_start::Choose(atLogin, lock) != single_start::Choice::kRun)
        return 0;

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    {
        Profile profile;
        win32ui::CMainDialog dialog(instance, &profile, atLogin);
        dialog.DoModal(nullptr);
    }
    return 0;
}
