// pontaro: the desktop window. Everything it does goes through WindowController;
// this file only wires the window, the logic and the profile together.
#include <QApplication>

#include "app/Profile.h"
#include "app/WindowController.h"
#include "ui/qt/MainDialog.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The window hides while minimised to the notification area; only its
    // own end ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    Profile profile;  // shared with pontaro-cli
    CMainDialog window;
    WindowController logic(window, &profile);
    window.Attach(&logic);
    QObject::connect(&window, &QDialog::finished, &app, &QApplication::quit);
    window.Start();
    return app.exec();
}
