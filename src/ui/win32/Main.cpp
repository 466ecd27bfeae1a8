#include <windows.h>

#include "ui/win32/PortMapApp.h"

namespace {
CPortMapApp theApp;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return theApp.Run(instance);
}
