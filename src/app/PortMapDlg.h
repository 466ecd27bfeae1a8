// The main dialog's logic, shared by every front end. A front end owns the
// real window, implements IPortMapWindow, and forwards its events here:
// OnInitDialog once the controls exist, OnOpen for "Open", OnTimer every
// 100 ms, OnDestroy when the window closes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/PortMapWindow.h"

class Profile;
class CRouterDevice;

class CPortMapDlg {
public:
    // `profile` may be null (nothing is loaded or saved).
    CPortMapDlg(IPortMapWindow& window, Profile* profile);
    virtual ~CPortMapDlg();

    void OnInitDialog();   // loads the settings, writes the controls, adds the tray icon
    void RunCycle();       // one run: "Open", the first tick, periodic runs
    void OnTimer();        // every 100 ms
    void OnDestroy();      // saves the options, removes the tray icon

    // Appends to the log and scrolls it to the end.
    void AppendLog(const std::string& message);

    // Fields, as the controls were last read.
    std::string m_ruleText;
    int m_autoUpdate = 0;
    int m_autoMinimize = 0;
    int m_firstTickDone = 0;

    // ... (further members are the logic's own)
};
