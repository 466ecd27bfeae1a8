// The Qt window driven as a user would: real widgets, the real WindowController,
// the profile in a temporary XDG_CONFIG_HOME, and a scripted gateway on
// loopback that each run searches (no multicast, no default gateways; the
// whole binary also runs in a network namespace of its own).
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

#include "PontaroVersion.h"
#include "app/ActivityLog.h"
#include "app/MappingTable.h"
#include "app/Profile.h"
#include "app/RecordLogText.h"
#include "app/WindowController.h"
#include "support/ScopedLanguage.h"
#include "support/ScriptedGateway.h"
#include "ui/qt/DialogUnits.h"
#include "ui/qt/MainDialog.h"
#include "ui/qt/VersionBox.h"

namespace {

const char kExampleRule[] = "80, 80, TCP, HTTP接続の通過";
const char kFtpRule[] = "21, 21, TCP, FTP接続の通過";

// One program start: the profile directory, the gateway, the window and its
// logic, put together the way main() does.
class Session {
public:
    explicit Session(CMainDialog::TrayMode trayMode = CMainDialog::TrayMode::kAuto)
        : trayMode_(trayMode) {
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
    }
    ~Session() { Stop(); }

    QString ConfigDir() const { return dir_.path(); }
    // The profile file, written before the start.
    void WriteProfile(const QByteArray& contents) {
        QDir().mkpath(dir_.path() + "/pontaro");
        QFile f(dir_.path() + "/pontaro/pontaro.ini");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(contents);
    }
    // What the profile file holds now, as another program start would read it.
    Profile SavedProfile() const { return Profile(); }

    void Start() {
        profile_ = std::make_unique<Profile>();
        window_ = std::make_unique<CMainDialog>(trayMode_);
        logic_ = std::make_unique<WindowController>(*window_, profile_.get());
        logic_->Session().targets = gateway_.Targets(1500);
        // Nothing listens on this machine, whatever runs here.
        logic_->Session().socketTables = [] { return platform::SocketTables{true, {}, true}; };
        runs_ = 0;
        logic_->Listen([this](const session::Event& e) {
            runs_ += std::holds_alternative<session::RunStarted>(e) ? 1 : 0;
        });
        window_->Attach(logic_.get());
        finished_ = std::make_unique<QSignalSpy>(window_.get(), &QDialog::finished);
        window_->Start();
    }
    void Stop() {
        window_.reset();  // first: its timer must not reach a destroyed logic
        logic_.reset();
        profile_.reset();
    }
    // The start-up run, started by the first tick.
    bool WaitForFirstRun() {
        return QTest::qWaitFor([this] { return runs_ >= 1; }, 8000);
    }

    CMainDialog& window() { return *window_; }
    WindowController& logic() { return *logic_; }
    int Runs() const { return runs_; }  // runs started
    ScriptedGateway& gateway() { return gateway_; }
    QSignalSpy& finished() { return *finished_; }

    std::string FoundText() const {
        return std::string(activity_log::kFound) +
               "- Address : 127.0.0.1\r\n- Control URL : " + gateway_.Location() + "\r\n";
    }

private:
    CMainDialog::TrayMode trayMode_;
    QTemporaryDir dir_;
    ScriptedGateway gateway_;
    std::unique_ptr<Profile> profile_;
    std::unique_ptr<CMainDialog> window_;
    std::unique_ptr<WindowController> logic_;
    int runs_ = 0;
    std::unique_ptr<QSignalSpy> finished_;
};

// Runs `check` on the modal box or popup menu that `open` brings up, then
// lets `close` end it. QTest cannot reach into a nested event loop otherwise.
template <typename W>
bool WithPopup(const std::function<void()>& open, const std::function<void(W*)>& check,
               const std::function<W*()>& find) {
    bool seen = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (W* w = find()) {
            poll.stop();
            seen = true;
            check(w);
        }
    });
    poll.start();
    open();
    return QTest::qWaitFor([&] { return seen; }, 3000);
}

QString LfText(const char* crlf) {
    return QString::fromUtf8(crlf).replace("\r\n", "\n");
}

}  // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

private slots:
    void firstTickRunsWithTheProfileAndLogsTheRun();
    void openAndEnterStartRunsButEnterInTheRuleBoxBreaksTheLine();
    void exitEscapeAndCloseBoxEndTheWindow();
    void optionsAreStoredOnCloseButTheRuleTextOnlyByARun();
    void lineEndsRoundTripBetweenBoxAndProfile();
    void logScrollsLikeLineScroll();
    void autoMinimizeWithoutTrayStaysInTheTaskBar();
    void autoMinimizeWithTrayHidesUntilTheIconIsPressed();
    void versionBoxFromF1AndFromTheContextMenu();
    void closeListAndIpv6FromTheContextMenu();
    void startAtLoginFromTheContextMenuIsTheSystems();
    void layoutFollowsTheTemplate();
    void textsFitInEitherLanguage();
    void screenshotAfterRun();
};

void MainDialogTest::firstTickRunsWithTheProfileAndLogsTheRun() {
    Session s;
    s.WriteProfile(QByteArray("[Setting]\nSetting=") + kExampleRule + "\\r\\n" + kFtpRule +
                   "\nAuto=0\nClose=0\n");
    // The second rule's port is taken: its reason shows under it, and the
    // outside address after the rules.
    s.gateway().ScriptSoapReplies({{200, "", ""}, {500, "718", "ConflictInMappingEntry"}});
    s.gateway().ScriptActionReplies("GetExternalIPAddress",
                                    {{200, "", "", {{"NewExternalIPAddress", "1.2.3.4"}}}});
    s.Start();
    QCOMPARE(s.window().ruleBox()->toPlainText(),
             QString::fromUtf8(kExampleRule) + "\n" + QString::fromUtf8(kFtpRule));
    QVERIFY(s.window().isVisible());
    QVERIFY(s.WaitForFirstRun());

    const std::string expected =
        s.FoundText() + "■ 80 -> 80 [TCP] : ○\u3000設定に成功しました。\r\n" +
        "  ※ このPCではポート 80 [TCP] を待ち受けているプログラムがありません。"
        "サーバを起動すると外から届きます。\r\n" +
        "■ 21 -> 21 [TCP] : ×\u3000設定に失敗しました。\r\n" +
        "  理由: ポート 21/TCP はすでに別の割り当てに使われています (UPnPエラー 718)。"
        "多くのルータは初期設定で 1024～65535 のポートしか開けません。\r\n" +
        "- External IP : 1.2.3.4\r\n" + "\r\n";
    QCOMPARE(s.window().GetLogText(), expected);
    QCOMPARE(s.window().logBox()->toPlainText(),
             QString::fromStdString(expected).replace("\r\n", "\n"));
    const std::vector<std::string> posts = s.gateway().Posts();
    QCOMPARE(posts.size(), size_t(2));
    QCOMPARE(SoapArgument(posts[0], "NewExternalPort"), std::string("80"));
    QCOMPARE(SoapArgument(posts[0], "NewPortMappingDescription"), std::string("HTTP接続の通過"));
    QCOMPARE(SoapArgument(posts[1], "NewExternalPort"), std::string("21"));

    // The first tick runs once; later ticks without "定期的に更新" do not,
    // and the timer sleeps until the box is ticked.
    QTest::qWait(500);
    QCOMPARE(s.Runs(), 1);
    QVERIFY(!s.window().tickTimerActive());
    QCOMPARE(s.logic().PeriodicTicks(), 0);
    s.window().autoUpdateBox()->setChecked(true);
    QVERIFY(s.window().tickTimerActive());
    QTRY_VERIFY_WITH_TIMEOUT(s.logic().PeriodicTicks() >= 2, 5000);
    s.window().autoUpdateBox()->setChecked(false);
    QTRY_VERIFY_WITH_TIMEOUT(!s.window().tickTimerActive(), 5000);
    const int frozen = s.logic().PeriodicTicks();
    QTest::qWait(300);
    QCOMPARE(s.logic().PeriodicTicks(), frozen);
}

void MainDialogTest::openAndEnterStartRunsButEnterInTheRuleBoxBreaksTheLine() {
    Session s;
    s.Start();
    QVERIFY(s.WaitForFirstRun());
    CMainDialog& w = s.window();
    QApplication::setActiveWindow(&w);
    QVERIFY(QTest::qWaitForWindowActive(&w));

    QTest::mouseClick(w.openButton(), Qt::LeftButton);
    QCOMPARE(s.Runs(), 2);

    // Enter anywhere but in the rule box (and on "終了") presses "Open".
    w.autoUpdateBox()->setFocus();
    QTest::keyClick(w.autoUpdateBox(), Qt::Key_Return);
    QCOMPARE(s.Runs(), 3);
    w.logBox()->setFocus();
    QTest::keyClick(w.logBox(), Qt::Key_Enter);
    QCOMPARE(s.Runs(), 4);
    QVERIFY(!w.autoUpdateBox()->isChecked());

    w.ruleBox()->setFocus();
    QTest::keyClicks(w.ruleBox(), "1, 1, TCP, a");
    QTest::keyClick(w.ruleBox(), Qt::Key_Return);
    QTest::keyClicks(w.ruleBox(), "2, 2, UDP, b");
    QCOMPARE(s.Runs(), 4);
    QCOMPARE(w.ruleBox()->toPlainText(), QString("1, 1, TCP, a\n2, 2, UDP, b"));
    QCOMPARE(w.GetRuleText(), std::string("1, 1, TCP, a\r\n2, 2, UDP, b"));

    // Each run appends its own block; the log is never cleared.
    const std::string block = s.FoundText() + "\r\n";
    QCOMPARE(w.GetLogText(), block + block + block + block);
    QVERIFY(s.finished().isEmpty());
}

void MainDialogTest::exitEscapeAndCloseBoxEndTheWindow() {
    {
        Session s;
        s.Start();
        QVERIFY(s.WaitForFirstRun());
        QApplication::setActiveWindow(&s.window());
        s.window().exitButton()->setFocus();
        QTest::keyClick(s.window().exitButton(), Qt::Key_Return);  // Enter on "終了" ends
        QCOMPARE(s.finished().size(), 1);
        QCOMPARE(s.Runs(), 1);
        QVERIFY(!s.window().isVisible());
    }
    {
        Session s;
        s.Start();
        s.window().ruleBox()->setFocus();
        QTest::keyClick(s.window().ruleBox(), Qt::Key_Escape);
        QCOMPARE(s.finished().size(), 1);
    }
    {
        Session s;
        s.Start();
        QVERIFY(s.window().close());
        QCOMPARE(s.finished().size(), 1);
        QVERIFY(!s.window().isVisible());
        // The timer ended with the window: no run after the close.
        QTest::qWait(300);
        QCOMPARE(s.Runs(), 0);
    }
}

void MainDialogTest::optionsAreStoredOnCloseButTheRuleTextOnlyByARun() {
    Session s;
    s.WriteProfile("[Setting]\nSetting=1, 1, TCP, old\n");
    s.Start();
    QVERIFY(s.WaitForFirstRun());
    CMainDialog& w = s.window();
    QVERIFY(!w.autoUpdateBox()->isChecked());
    QVERIFY(!w.autoMinimizeBox()->isChecked());

    QTest::mouseClick(w.autoUpdateBox(), Qt::LeftButton);
    QTest::mouseClick(w.autoMinimizeBox(), Qt::LeftButton);
    w.ruleBox()->setFocus();
    QTest::keyClick(w.ruleBox(), Qt::Key_End);
    QTest::keyClicks(w.ruleBox(), "changed");
    QTest::mouseClick(w.exitButton(), Qt::LeftButton);
    QCOMPARE(s.finished().size(), 1);

    Profile saved = s.SavedProfile();
    QCOMPARE(saved.GetInt("Setting", "Auto", -1), 1);
    QCOMPARE(saved.GetInt("Setting", "Close", -1), 1);
    QCOMPARE(saved.GetString("Setting", "Setting", "-"), std::string("1, 1, TCP, old"));

    // The next start shows them; unticking is stored just as well.
    s.Stop();
    s.Start();
    QVERIFY(s.window().autoUpdateBox()->isChecked());
    QVERIFY(s.window().autoMinimizeBox()->isChecked());
    QTest::mouseClick(s.window().autoUpdateBox(), Qt::LeftButton);
    QVERIFY(s.window().close());
    QCOMPARE(s.SavedProfile().GetInt("Setting", "Auto", -1), 0);
    QCOMPARE(s.SavedProfile().GetInt("Setting", "Close", -1), 1);
}

void MainDialogTest::lineEndsRoundTripBetweenBoxAndProfile() {
    // Spaces that look alike must survive the box: U+00A0 and U+3000.
    const std::string first = "1, 1, TCP, a\u00a0b";
    const std::string second = "2, 2, UDP, \u3000c";
    Session s;
    s.WriteProfile(QByteArray("[Setting]\nSetting=") + first.c_str() + "\\r\\n" + second.c_str() +
                   "\\r\\n\n");
    s.Start();
    CMainDialog& w = s.window();
    QCOMPARE(w.ruleBox()->document()->toRawText().replace(QChar::ParagraphSeparator, '\n'),
             QString::fromStdString(first + "\n" + second + "\n"));
    QCOMPARE(w.GetRuleText(), first + "\r\n" + second + "\r\n");
    QVERIFY(s.WaitForFirstRun());
    QCOMPARE(s.SavedProfile().GetString("Setting", "Setting", "-"),
             first + "\\r\\n" + second + "\\r\\n");

    // Lines typed into the box are stored with CR LF by the next run.
    w.ruleBox()->setFocus();
    QTest::keyClick(w.ruleBox(), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(w.ruleBox(), "3, 3, TCP, d");
    QTest::keyClick(w.ruleBox(), Qt::Key_Return);
    QTest::mouseClick(w.openButton(), Qt::LeftButton);
    const std::string stored = first + "\\r\\n" + second + "\\r\\n3, 3, TCP, d\\r\\n";
    QCOMPARE(s.SavedProfile().GetString("Setting", "Setting", "-"), stored);
    QCOMPARE(s.gateway().Posts().size(), size_t(2 + 3));

    // A box given CR LF text by the logic shows no stray CR.
    w.SetRuleText("x\r\ny");
    QCOMPARE(w.ruleBox()->toPlainText(), QString("x\ny"));
    QCOMPARE(w.ruleBox()->document()->blockCount(), 2);
}

void MainDialogTest::logScrollsLikeLineScroll() {
    Session s;
    s.Start();
    QVERIFY(s.WaitForFirstRun());
    CMainDialog& w = s.window();
    QScrollBar* bar = w.logBox()->verticalScrollBar();

    // A short log: the append shows its end.
    std::string log;
    for (int i = 0; i < 200; ++i)
        log += "line " + std::to_string(i) + "\r\n";
    w.SetLogText(log);
    QCOMPARE(bar->value(), 0);
    s.logic().AppendLog("last\r\n");
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(w.GetLogText(), log + "last\r\n");

    // A long one: the view rests 10000 lines below the top, not at the end.
    // (Empty lines, so that 15000 of them fit in what the log keeps.)
    log.clear();
    for (int i = 0; i < 15000; ++i)
        log += "\r\n";
    w.SetLogText(log);
    s.logic().AppendLog("");
    QCOMPARE(bar->value(), 10000);
    QVERIFY(bar->maximum() > 10000);
    QCOMPARE(w.logBox()->cursorForPosition(QPoint(2, 2)).blockNumber(), 10000);

    // Past what the log keeps, the oldest whole lines leave the box.
    w.SetLogText("");
    std::string appended;
    for (int i = 0; appended.size() < 2 * activity_log::kMaxLogBytes; ++i) {
        const std::string line = "行 " + std::to_string(i) + "\r\n";
        appended += line;
        s.logic().AppendLog(line);
    }
    const std::string kept = w.GetLogText();
    QVERIFY(kept.size() <= activity_log::kMaxLogBytes);
    QVERIFY(kept.size() > activity_log::kMaxLogBytes - 1024);
    QCOMPARE(appended.substr(appended.size() - kept.size()), kept);
    QVERIFY(kept.rfind("行 ", 0) == 0);
}

void MainDialogTest::autoMinimizeWithoutTrayStaysInTheTaskBar() {
    if (QSystemTrayIcon::isSystemTrayAvailable())
        QSKIP("this desktop has a notification area");
    Session s;
    s.WriteProfile("[Setting]\nClose=1\n");
    s.Start();
    QVERIFY(s.window().isVisible());
    QVERIFY(s.WaitForFirstRun());
    QVERIFY(s.window().isMinimized());
    QVERIFY(s.window().isVisible());  // reachable: minimised, not hidden
    QVERIFY(!s.window().TrayUsable());

    // A minimise by the user leaves it in the task bar too.
    s.window().showNormal();
    QVERIFY(!s.window().isMinimized());
    s.window().showMinimized();
    QTest::qWait(100);
    QVERIFY(s.window().isVisible());
}

void MainDialogTest::autoMinimizeWithTrayHidesUntilTheIconIsPressed() {
    Session s(CMainDialog::TrayMode::kAlways);
    s.WriteProfile("[Setting]\nClose=1\n");
    s.Start();
    CMainDialog& w = s.window();
    QSystemTrayIcon* tray = w.trayIcon();
    QVERIFY(tray != nullptr);
    QVERIFY(tray->isVisible());
    QCOMPARE(tray->toolTip(), QCoreApplication::applicationName());
    QVERIFY(tray->contextMenu() == nullptr);

    QVERIFY(s.WaitForFirstRun());
    QVERIFY(w.isHidden());
    QVERIFY(w.isMinimized());

    // Moves, double clicks and the middle button leave it hidden.
    emit tray->activated(QSystemTrayIcon::MiddleClick);
    emit tray->activated(QSystemTrayIcon::DoubleClick);
    emit tray->activated(QSystemTrayIcon::Unknown);
    QTest::qWait(50);
    QVERIFY(w.isHidden());

    emit tray->activated(QSystemTrayIcon::Trigger);  // left press
    QVERIFY(w.isVisible());
    QVERIFY(!w.isMinimized());

    // A minimise by the user hides it again; a right press brings it back.
    w.showMinimized();
    QTRY_VERIFY(w.isHidden());
    emit tray->activated(QSystemTrayIcon::Context);
    QVERIFY(w.isVisible());
    QVERIFY(!w.isMinimized());

    // A press while shown only shows it again.
    emit tray->activated(QSystemTrayIcon::Trigger);
    QVERIFY(w.isVisible());

    QVERIFY(w.close());
    QVERIFY(!tray->isVisible());  // the icon goes with the window
    QCOMPARE(s.SavedProfile().GetInt("Setting", "Close", -1), 1);
}

void MainDialogTest::versionBoxFromF1AndFromTheContextMenu() {
    Session s;
    s.Start();
    QVERIFY(s.WaitForFirstRun());
    CMainDialog& w = s.window();
    QApplication::setActiveWindow(&w);

    auto findBox = [] { return qobject_cast<CVersionBox*>(QApplication::activeModalWidget()); };
    auto checkAndClose = [](CVersionBox* box) {
        QCOMPARE(box->windowTitle(), QString::fromUtf8("バージョン情報 Pontaro"));
        QStringList texts;
        for (QLabel* l : box->findChildren<QLabel*>())
            texts << l->text();
        QVERIFY(texts.contains(PONTARO_VERSION_LINE));
        QVERIFY(texts.contains(QString::fromUtf8(kVersionNotice)));
        auto* ok = box->findChild<QPushButton*>("ok");
        QVERIFY(ok != nullptr);
        QVERIFY(ok->isDefault());
        QTest::mouseClick(ok, Qt::LeftButton);
    };

    QVERIFY(
        WithPopup<CVersionBox>([&] { QTest::keyClick(&w, Qt::Key_F1); }, checkAndClose, findBox));
    QVERIFY(QApplication::activeModalWidget() == nullptr);

    // A right click on the background (between the check boxes and "Open"),
    // then the menu's mnemonic.
    const QPoint background =
        (w.autoMinimizeBox()->geometry().topRight() + w.openButton()->geometry().topLeft()) / 2 +
        QPoint(0, 4);
    QVERIFY(w.childAt(background) == nullptr);
    bool menuSeen = false;
    QTimer menuPoll;
    menuPoll.setInterval(20);
    connect(&menuPoll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr)
            return;
        menuPoll.stop();
        menuSeen = true;
        // close, close all, list, a separator, the two switches, a
        // separator, the version box
        QCOMPARE(menu->actions().size(), 8);
        QCOMPARE(menu->actions().last()->text(),
                 QString::fromUtf8("バージョン情報 Pontaro(&A)..."));
        QTest::keyClick(menu, Qt::Key_A);
    });
    menuPoll.start();
    QVERIFY(WithPopup<CVersionBox>(
        [&] {
            QContextMenuEvent e(QContextMenuEvent::Mouse, background, w.mapToGlobal(background));
            QApplication::sendEvent(&w, &e);
        },
        checkAndClose, findBox));
    QVERIFY(menuSeen);
    QVERIFY(s.finished().isEmpty());  // the window stays
}

void MainDialogTest::closeListAndIpv6FromTheContextMenu() {
    Session s;
    s.WriteProfile(QByteArray("[Setting]\nSetting=") + kExampleRule + "\nAuto=0\nClose=0\n");
    // Beside this run's mapping, one an old Japanese tool left: its
    // description in code page 932 bytes.
    s.gateway().ServeMappingTable({{"", "80", "TCP", "80", "127.0.0.1", "1", "HTTP接続の通過", "0"},
                                   {"", "21", "TCP", "21", "127.0.0.1", "1",
                                    "FTP\x90\xDA\x91\xB1\x82\xCC\x92\xCA\x89\xDF", "0"}});
    s.Start();
    QVERIFY(s.WaitForFirstRun());
    const std::string afterOpen = s.window().GetLogText();

    struct Entry {
        const char* text;
        std::string log;       // what the entry appends
        const char* lastPost;  // the action of the last request
    };
    // The first run's mapping is on the record: the listing marks it (not
    // the other tool's), and closing everything removes it once the router
    // shows it as made.
    s.gateway().ScriptActionReplies("GetSpecificPortMappingEntry",
                                    {HolderReply("127.0.0.1", "80", "HTTP接続の通過")});
    const Entry entries[] = {
        {kListMenuText,
         s.FoundText() + activity_log::TableHeadingText(2) +
             MappingTableText({{"", "80", "TCP", "80", "127.0.0.1", "1", "HTTP接続の通過", "0"},
                               {"", "21", "TCP", "21", "127.0.0.1", "1", "FTP接続の通過", "0"}},
                              "127.0.0.1", {true, false}) +
             activity_log::kTableMarkNote + activity_log::kTableMadeNote + "\r\n",
         "GetExternalIPAddress"},
        {kCloseAllMenuText, s.FoundText() + "■ 80 [TCP] : " + activity_log::kClosed + "\r\n",
         "DeletePortMapping"},
        {kCloseMenuText, s.FoundText() + "■ 80 [TCP] : " + activity_log::kClosed + "\r\n",
         "DeletePortMapping"},
    };
    std::string log = afterOpen;
    for (const Entry& e : entries) {
        const int runs = s.Runs();
        QMenu* menu = s.window().CreateContextMenu();
        QAction* action = nullptr;
        for (QAction* a : menu->actions())
            if (a->text() == QString::fromUtf8(e.text))
                action = a;
        QVERIFY2(action != nullptr, e.text);
        action->trigger();  // synchronous, like "Open"
        menu->close();
        QCOMPARE(s.Runs(), runs + 1);
        log += e.log;
        QCOMPARE(s.window().GetLogText(), log);
        QCOMPARE(s.gateway().ActionPosts().back().action, std::string(e.lastPost));
    }
    QCOMPARE(SoapArgument(s.gateway().ActionPosts().back().body, "NewExternalPort"),
             std::string("80"));

    // The IPv6 switch: on without a key in the profile; choosing it turns it
    // off in the logic and the profile, and the next menu shows it unchecked.
    for (bool checked : {true, false}) {
        QMenu* menu = s.window().CreateContextMenu();
        QAction* ipv6 = nullptr;
        for (QAction* a : menu->actions())
            if (a->text() == QString::fromUtf8(kOpenIpv6MenuText))
                ipv6 = a;
        QVERIFY(ipv6 != nullptr && ipv6->isCheckable());
        QCOMPARE(ipv6->isChecked(), checked);
        if (checked)
            ipv6->trigger();
        menu->close();
    }
    QVERIFY(!s.logic().OpenIpv6());
    QCOMPARE(s.SavedProfile().GetString("Setting", "OpenIPv6", ""), std::string("0"));
}

namespace {

QAction* ActionNamed(QMenu* menu, const char* text) {
    for (QAction* a : menu->actions())
        if (a->text() == QString::fromUtf8(text))
            return a;
    return nullptr;
}

}  // namespace

void MainDialogTest::startAtLoginFromTheContextMenuIsTheSystems() {
    Session s;
    s.Start();
    QVERIFY(s.WaitForFirstRun());
    const QString entry = s.ConfigDir() + "/autostart/pontaro.desktop";
    auto checked = [&] {
        QMenu* menu = s.window().CreateContextMenu();
        QAction* a = ActionNamed(menu, kStartAtLoginMenuText);
        const bool on = a != nullptr && a->isCheckable() && a->isChecked();
        menu->close();
        return on;
    };
    auto choose = [&] {
        QMenu* menu = s.window().CreateContextMenu();
        ActionNamed(menu, kStartAtLoginMenuText)->trigger();
        menu->close();
    };

    QVERIFY(!checked());
    choose();
    QFile f(entry);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    QVERIFY2(text.contains("\nExec=" + QCoreApplication::applicationFilePath() + " --autostart\n"),
             qPrintable(text));
    QVERIFY(checked());
    // Removed elsewhere: the menu shows what the system holds.
    QVERIFY(QFile::remove(entry));
    QVERIFY(!checked());
    choose();
    QVERIFY(checked());
    choose();  // unticking removes what it wrote
    QVERIFY(!QFile::exists(entry));
    QVERIFY(!checked());
}

void MainDialogTest::layoutFollowsTheTemplate() {
    Session s;
    s.Start();
    CMainDialog& w = s.window();
    QCOMPARE(w.windowTitle(), QString("Pontaro"));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(w.openButton()->isDefault());
    QVERIFY(w.logBox()->isReadOnly());
    QVERIFY(w.logBox()->textInteractionFlags() & Qt::TextSelectableByMouse);

    // Tab order is the template's.
    QList<QWidget*> order;
    QWidget* x = w.openButton();
    for (int i = 0; i < 6; ++i, x = x->nextInFocusChain()) {
        while (!(x->focusPolicy() & Qt::TabFocus))
            x = x->nextInFocusChain();
        order << x;
    }
    QCOMPARE(order, (QList<QWidget*>{w.openButton(), w.exitButton(), w.logBox(), w.ruleBox(),
                                     w.autoUpdateBox(), w.autoMinimizeBox()}));

    // Top to bottom: example, rule box, one row of options and buttons, log.
    auto* example = w.findChild<QLabel*>("example");
    QVERIFY(example != nullptr);
    QCOMPARE(example->text(),
             LfText("入力例 :\r\n80, 80, TCP, HTTP接続の通過\r\n21, 21, TCP, FTP接続の通過"));
    QVERIFY(example->geometry().bottom() < w.ruleBox()->geometry().top() + 2);
    QVERIFY(w.ruleBox()->geometry().bottom() < w.openButton()->geometry().top());
    QVERIFY(w.openButton()->geometry().bottom() < w.logBox()->geometry().top());
    const int row = w.openButton()->geometry().center().y();
    for (QWidget* c :
         {(QWidget*)w.exitButton(), (QWidget*)w.autoUpdateBox(), (QWidget*)w.autoMinimizeBox()})
        QVERIFY(qAbs(c->geometry().center().y() - row) <= 3);
    QVERIFY(w.autoUpdateBox()->geometry().right() < w.autoMinimizeBox()->geometry().left());
    QVERIFY(w.autoMinimizeBox()->geometry().right() < w.openButton()->geometry().left());
    QVERIFY(w.openButton()->geometry().right() < w.exitButton()->geometry().left());
    // The boxes span the width with the same margins on both sides.
    QCOMPARE(w.ruleBox()->geometry().left(), w.logBox()->geometry().left());
    QCOMPARE(w.ruleBox()->geometry().right(), w.logBox()->geometry().right());
    QCOMPARE(w.width() - 1 - w.logBox()->geometry().right(), w.logBox()->geometry().left());
}

// The layout is written for the Japanese texts, which it keeps to the pixel;
// the English ones are longer, and the check boxes and the version box's
// notice widen for them without reaching the buttons.
void MainDialogTest::textsFitInEitherLanguage() {
    const struct {
        texts::Language language;
        const char* autoUpdate;
        const char* autoMinimize;
        const char* caption;
        bool asLaidOut;
    } rows[] = {
        {texts::Language::kJapanese, "定期的に更新", "自動的に最小化", "バージョン情報 Pontaro",
         true},
        {texts::Language::kEnglish, "Update periodically", "Minimize automatically",
         "About Pontaro", false},
    };
    for (const auto& row : rows) {
        ScopedLanguage scope(row.language);
        CMainDialog w;
        QCOMPARE(w.autoUpdateBox()->text(), QString::fromUtf8(row.autoUpdate));
        QCOMPARE(w.autoMinimizeBox()->text(), QString::fromUtf8(row.autoMinimize));
        const DialogMetrics m = MetricsOf(w.font());
        for (QCheckBox* box : {w.autoUpdateBox(), w.autoMinimizeBox()})
            QVERIFY2(box->width() >= box->sizeHint().width(), qPrintable(box->text()));
        QVERIFY(w.autoUpdateBox()->geometry().right() < w.autoMinimizeBox()->geometry().left());
        QVERIFY(w.autoMinimizeBox()->geometry().right() < w.openButton()->geometry().left());
        if (row.asLaidOut) {
            QCOMPARE(w.autoUpdateBox()->geometry(), DialogRect(m, 7, 128, 59, 10));
            QCOMPARE(w.autoMinimizeBox()->geometry(), DialogRect(m, 81, 128, 66, 10));
        }

        CVersionBox box(QIcon{});
        QCOMPARE(box.windowTitle(), QString::fromUtf8(row.caption));
        auto* notice = box.findChild<QLabel*>("notice");
        auto* ok = box.findChild<QPushButton*>("ok");
        QVERIFY(notice != nullptr && ok != nullptr);
        QVERIFY(notice->width() >= notice->sizeHint().width());
        QVERIFY(notice->geometry().right() < ok->geometry().left());
    }
}

// Under a real X server: the window after a run, as a picture for a person to
// check, and a check that Japanese is drawn with glyphs rather than boxes.
void MainDialogTest::screenshotAfterRun() {
    if (QGuiApplication::platformName() != "xcb")
        QSKIP("needs an X server (run by the qt_window_screenshot test)");
    Session s;
    s.WriteProfile(QByteArray("[Setting]\nSetting=") + kExampleRule + "\\r\\n" + kFtpRule +
                   "\nAuto=1\n");
    s.Start();
    QVERIFY(QTest::qWaitForWindowExposed(&s.window()));
    QVERIFY(s.WaitForFirstRun());
    QTest::qWait(300);

    // A Japanese text drawn with the window's font must differ from a
    // character that has no glyph anywhere (which is drawn as a box).
    auto draw = [&](const QString& t) {
        QImage img(64, 32, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        p.setFont(s.window().font());
        p.setPen(Qt::black);
        p.drawText(img.rect(), Qt::AlignCenter, t);
        return img;
    };
    QVERIFY(draw(QString::fromUtf8("終了")) != draw(QString(QChar(0xE000)) + QChar(0xE001)));
    QVERIFY(!QFontDatabase::families(QFontDatabase::Japanese).isEmpty());

    QPixmap shot = s.window().screen()->grabWindow(s.window().winId());
    QVERIFY(!shot.isNull());
    QCOMPARE(shot.size(), s.window().size() * s.window().devicePixelRatio());
    const QString path = QString(PONTARO_QT_TEST_OUTPUT_DIR) + "/pontaro-window.png";
    QVERIFY(shot.save(path));
    qInfo("screenshot: %s", qPrintable(path));

    // The version box too.
    const QString boxPath = QString(PONTARO_QT_TEST_OUTPUT_DIR) + "/pontaro-version.png";
    QVERIFY(WithPopup<CVersionBox>(
        [&] { s.window().ShowVersionBox(); },
        [&](CVersionBox* box) {
            QVERIFY(QTest::qWaitForWindowExposed(box));
            QTest::qWait(100);
            QVERIFY(box->screen()->grabWindow(box->winId()).save(boxPath));
            box->accept();
        },
        [] { return qobject_cast<CVersionBox*>(QApplication::activeModalWidget()); }));
    qInfo("screenshot: %s", qPrintable(boxPath));
}

int main(int argc, char* argv[]) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    MainDialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MainDialogTest.moc"
