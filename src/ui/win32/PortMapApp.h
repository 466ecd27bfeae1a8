// The application object: starts COM and the common controls, runs the main
// dialog modally, and stops COM again.
#pragma once

#include <windows.h>

class CPortMapApp {
public:
    int Run(HINSTANCE instance);
};
