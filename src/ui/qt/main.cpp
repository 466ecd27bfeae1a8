// pontaro: the desktop window. Everything it does goes through WindowController;
// this file only wires the window, the logic and the profile together.
#include <QApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/Profile.h"
#include "app/SingleStart.h"
#include "app/WindowController.h"
#include "app/texts/Language.h"
#include "platform/SingleInstance.h"
#include "platform/posix/ShowRequests.h"
#include "ui/qt/MainDialog.h"

int main(int argc, char* argv[]) {
    texts::SetLanguageAtStart({});  // PONTARO_LANG, else the user's language
    const bool atLogin = single_start::StartedAtLogin(std::vector<std::string>(argv, argv + argc));
    // Decided before any window or display connection exists.
    platform::InstanceLock lock;
    switch (single_start::Choose(atLogin, lock)) {
        case single_start::Choice::kRun:
            break;
        case single_start::Choice::kNoAnswer:
            std::fputs(std::string(single_start::kNoAnswerText).c_str(), stderr);
            return 1;
        default:
            return 0;
    }

    QApplication app(argc, argv);
    // The window hides while minimised to the notification area; only its
    // own end ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    Profile profile;  // shared with pontaro-cli
    CMainDialog window;
    WindowController logic(window, &profile);
    logic.SetStartedAtLogin(atLogin);
    window.Attach(&logic);
    QObject::connect(&window, &QDialog::finished, &app, &QApplication::quit);

    // A later start asks through this socket (without one it finds no
    // answer and ends all the same).
    platform::ShowRequests requests;
    std::unique_ptr<QSocketNotifier> asked;
    if (requests.Listen()) {
        asked = std::make_unique<QSocketNotifier>(requests.Descriptor(), QSocketNotifier::Read);
        QObject::connect(asked.get(), &QSocketNotifier::activated, &window, [&] {
            if (requests.Take())
                window.ShowFromElsewhere();
        });
    }

    window.Start();
    return app.exec();
}
