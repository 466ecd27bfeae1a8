// The program's one window: the rule box, the two options, "Open", "終了" and
// the log, laid out from the dialog template in dialog units (the check
// boxes widened where a language's texts need it). All behaviour
// beyond showing and reading the controls is WindowController's; this class only
// forwards events to it and carries out what it asks of the window.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QSystemTrayIcon>
#include <QTimer>

#include <string>

#include "app/PortMapWindow.h"
#include "ui/qt/CatalogText.h"

class WindowController;
class QCheckBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;

struct DialogMetrics;

class CMainDialog : public QDialog, public IPortMapWindow {
    Q_OBJECT
public:
    // Whether minimising may hide the window behind a notification-area icon.
    // kAuto asks the desktop; the other two let tests take either path.
    enum class TrayMode { kAuto, kAlways, kNever };

    explicit CMainDialog(TrayMode trayMode = TrayMode::kAuto, QWidget* parent = nullptr);
    ~CMainDialog() override;

    // The logic that receives the window's events; set before Start().
    void Attach(WindowController* logic) { logic_ = logic; }
    // WindowController::Start, then shows the window (not when started at
    // login into the notification area) and starts the 100 ms timer.
    void Start();
    // A press on the tray icon, or a later start of the program asking for
    // the window: shown, restored and brought forward.
    void ShowFromElsewhere();

    // IPortMapWindow
    std::string GetRuleText() override;
    void SetRuleText(const std::string& crlfText) override;
    bool GetAutoUpdate() override;
    void SetAutoUpdate(bool on) override;
    bool GetAutoMinimize() override;
    void SetAutoMinimize(bool on) override;
    void SetOpenIpv6(bool on) override;
    void AppendLog(const std::string& crlfText) override;
    void DropOldestLogLines(int lines) override;
    void HideWindow() override;
    void MinimizeWindow() override;
    void AddTrayIcon() override;
    void RemoveTrayIcon() override;

    // The version box, modal; reached by F1 and the context menu.
    void ShowVersionBox();
    // Whether minimising hides the window now.
    bool TrayUsable() const;

    // The whole log, CR LF line ends; setting it puts the view at the top.
    // The logic only appends; tests read and fill the log through these.
    std::string GetLogText();
    void SetLogText(const std::string& crlfText);

    // The controls, for the tests.
    QPushButton* openButton() const { return open_; }
    QPushButton* exitButton() const { return exit_; }
    QPlainTextEdit* logBox() const { return log_; }
    QPlainTextEdit* ruleBox() const { return rules_; }
    QCheckBox* autoUpdateBox() const { return autoUpdate_; }
    QCheckBox* autoMinimizeBox() const { return autoMinimize_; }
    QSystemTrayIcon* trayIcon() const { return tray_; }
    bool tickTimerActive() const { return timer_.isActive(); }
    // Tests run many periodic runs with a faster tick.
    void setTickInterval(int ms) { timer_.setInterval(ms); }
    QMenu* CreateContextMenu();

    static QIcon AppIcon();
    static QIcon TrayIconImage();

public slots:
    void done(int result) override;

protected:
    void changeEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void ShowLogViewLine();                              // the view AppendLog promises
    void CreateButtonsAndBoxes(const DialogMetrics& m);  // "Open", "終了", the log, the rules
    void CreateTextsAndChecks(const DialogMetrics& m);   // the example and the two options
    void ConnectControls();
    void OnOpen();
    void OnTick();
    void OnTrayActivated(QSystemTrayIcon::ActivationReason reason);

    WindowController* logic_ = nullptr;
    TrayMode trayMode_;
    bool started_ = false;
    bool destroyed_ = false;
    QTimer timer_;
    std::string ruleText_;  // the rule box as the logic reads it
    bool ruleTextValid_ = false;
    QSystemTrayIcon* tray_ = nullptr;

    QPushButton* open_ = nullptr;
    QPushButton* exit_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    QPlainTextEdit* rules_ = nullptr;
    QLabel* example_ = nullptr;
    QCheckBox* autoUpdate_ = nullptr;
    QCheckBox* autoMinimize_ = nullptr;
    bool openIpv6_ = true;  // the check mark of the menu entry, as the logic last set it
};

// The texts of the window, shared with the tests.
extern const CatalogText kAboutMenuText;
extern const CatalogText kCloseMenuText;
extern const CatalogText kCloseAllMenuText;
extern const CatalogText kListMenuText;
extern const CatalogText kOpenIpv6MenuText;
extern const CatalogText kStartAtLoginMenuText;
