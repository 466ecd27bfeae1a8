// The Qt window left running for many periodic runs, with the period
// shortened through WindowController::SetPeriodicRunTicks and a faster tick:
//
//   soak           500 runs against a scripted gateway on loopback (in a
//                  network namespace of its own): open descriptors, threads
//                  and resident memory do not grow between run 10 and 500
//   routerReboot   in a router lab (with-lab.sh): miniupnpd restarts with
//                  empty chains, and every rule is back within one period
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "app/ActivityLog.h"
#include "app/Profile.h"
#include "app/WindowController.h"
#include "support/ScriptedGateway.h"
#include "ui/qt/MainDialog.h"

namespace {

struct Figures {
    int fds = 0;
    int threads = 0;
    long rssKib = 0;
};

long StatusField(const QByteArray& status, const QByteArray& name) {
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith(name + ":"))
            return line.mid(name.size() + 1).trimmed().split(' ').first().toLong();
    }
    return -1;
}

Figures Measure() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    const QByteArray text = status.readAll();
    Figures f;
    f.fds = static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                 .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                                 .size());
    f.threads = static_cast<int>(StatusField(text, "Threads"));
    f.rssKib = StatusField(text, "VmRSS");
    return f;
}

// Measure() once the scripted gateway's threads have let go of the run just
// ended: its server side closes a connection a moment after the window did,
// so a single sample may catch one descriptor more. The main thread sleeps,
// so no new run starts meanwhile; the fewest seen over 100 ms count.
Figures MeasureSettled() {
    Figures least = Measure();
    for (int i = 0; i < 5; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const Figures f = Measure();
        least.fds = std::min(least.fds, f.fds);
        least.threads = std::min(least.threads, f.threads);
        least.rssKib = f.rssKib;
    }
    return least;
}

// The window and its logic as main() puts them together, with a profile in
// a temporary folder and "定期的に更新" ticked.
class Window {
public:
    Window(const QString& rules, int periodTicks, int tickMs) {
        qputenv("XDG_CONFIG_HOME", dir_.path().toUtf8());
        QDir().mkpath(dir_.path() + "/pontaro");
        QFile f(dir_.path() + "/pontaro/pontaro.ini");
        f.open(QIODevice::WriteOnly);
        f.write("[Setting]\nSetting=" + rules.toUtf8() + "\nAuto=1\nClose=0\n");
        f.close();
        profile_ = std::make_unique<Profile>();
        window_ = std::make_unique<CMainDialog>(CMainDialog::TrayMode::kNever);
        logic_ = std::make_unique<WindowController>(*window_, profile_.get());
        logic_->SetPeriodicRunTicks(periodTicks);
        // A run is good when it found the gateway and no rule failed.
        logic_->Listen([this](const session::Event& e) {
            if (std::holds_alternative<session::RunStarted>(e)) {
                ++runs_;
                lastRunGood_ = false;
            }
            lastRunGood_ = (lastRunGood_ || std::holds_alternative<session::GatewayFound>(e)) &&
                           !std::holds_alternative<session::RuleFailed>(e);
        });
        window_->setTickInterval(tickMs);
        window_->Attach(logic_.get());
    }
    ~Window() {
        window_.reset();
        logic_.reset();
    }
    void Start() { window_->Start(); }
    WindowController& logic() { return *logic_; }
    int Runs() const { return runs_; }
    bool LastRunGood() const { return lastRunGood_; }
    CMainDialog& window() { return *window_; }

private:
    QTemporaryDir dir_;
    std::unique_ptr<Profile> profile_;
    std::unique_ptr<CMainDialog> window_;
    std::unique_ptr<WindowController> logic_;
    int runs_ = 0;
    bool lastRunGood_ = false;
};

QString LabScript() {
    return qEnvironmentVariable("PONTARO_LAB_SCRIPTS") + QStringLiteral("/lab.sh");
}

// Runs a program while the window goes on ticking; its standard output, or
// nothing when it fails.
QString Output(const QString& program, const QStringList& args, bool* ok = nullptr) {
    QProcess p;
    p.start(program, args);
    const bool ended = QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 10000);
    const bool done = ended && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (ok != nullptr)
        *ok = done;
    return done ? QString::fromUtf8(p.readAllStandardOutput()) : QString();
}

QString LabMappings() {
    return Output(LabScript(),
                  {QStringLiteral("mappings"), qEnvironmentVariable("PONTARO_LAB_NAME")});
}

bool RouterAnswers() {
    const QString target = qEnvironmentVariable("PONTARO_LAB_ROUTER_IP") + "/" +
                           qEnvironmentVariable("PONTARO_LAB_HTTP_PORT");
    bool ok = false;
    Output(QStringLiteral("bash"), {QStringLiteral("-c"), "exec 3<>/dev/tcp/" + target}, &ok);
    return ok;
}

// Polls `condition` (which may run programs itself) until it holds.
bool WaitUntil(const std::function<bool()>& condition, int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (condition())
            return true;
        QTest::qWait(50);
    }
    return false;
}

}  // namespace

class WindowDaysTest : public QObject {
    Q_OBJECT
private slots:
    void soak();
    void routerReboot();
};

void WindowDaysTest::soak() {
    ScriptedGateway gateway;
    QVERIFY(gateway.Ready());
    // A periodic run on every second tick of 5 ms.
    Window w(QStringLiteral("80, 80, TCP, soak"), 1, 5);
    w.logic().Session().targets = gateway.Targets(1500);
    w.Start();
    Figures at10;
    int failed = 0;
    for (int run = 1; run <= 500; ++run) {
        QVERIFY2(QTest::qWaitFor([&] { return w.Runs() >= run; }, 5000),
                 qPrintable(QStringLiteral("run %1 did not come").arg(run)));
        failed += w.LastRunGood() ? 0 : 1;
        gateway.ForgetPosts();
        if (run == 10)
            at10 = MeasureSettled();
    }
    const Figures at500 = MeasureSettled();
    qInfo("run 10: %d fds, %d threads, %ld KiB resident", at10.fds, at10.threads, at10.rssKib);
    qInfo("run 500: %d fds, %d threads, %ld KiB resident", at500.fds, at500.threads, at500.rssKib);
    QCOMPARE(failed, 0);
    QCOMPARE(at500.fds, at10.fds);
    QCOMPARE(at500.threads, at10.threads);
    QVERIFY2(at500.rssKib <= at10.rssKib * 105 / 100,
             qPrintable(QStringLiteral("resident memory grew from %1 to %2 KiB")
                            .arg(at10.rssKib)
                            .arg(at500.rssKib)));
}

void WindowDaysTest::routerReboot() {
    if (qEnvironmentVariableIsEmpty("PONTARO_LAB_NAME"))
        QSKIP("needs the router lab (scripts/with-lab.sh)");
    const QString host = qEnvironmentVariable("PONTARO_LAB_HOST_IP");
    const QStringList want = {"TCP 18101 " + host + ":8101", "UDP 18102 " + host + ":8102",
                              "TCP 18103 " + host + ":8103"};
    auto allMapped = [&] {
        const QStringList lines = LabMappings().split('\n');
        for (const QString& w : want) {
            if (!lines.contains(w))
                return false;
        }
        return true;
    };
    // A period of 20 ticks of 100 ms: a periodic run about every 2 s.
    const int periodMs = 2000;
    Window w(QStringLiteral("18101, 8101, TCP, 再起動 A\\r\\n18102, 8102, UDP, 再起動 B\\r\\n"
                            "18103, 8103, TCP, 再起動 C"),
             periodMs / 100, 100);
    w.Start();
    QVERIFY2(WaitUntil(allMapped, 15000), "the start-up run did not map every rule");

    for (int round = 1; round <= 3; ++round) {
        QTest::qWait(300 * round);  // each round lands at another point of the period
        QProcess reboot;
        reboot.start(LabScript(),
                     {QStringLiteral("reboot"), qEnvironmentVariable("PONTARO_LAB_NAME")});
        // The window keeps ticking (and may run) while the router restarts.
        QVERIFY(QTest::qWaitFor([&] { return reboot.state() == QProcess::NotRunning; }, 20000));
        QCOMPARE(reboot.exitCode(), 0);
        QVERIFY(WaitUntil(RouterAnswers, 10000));
        QElapsedTimer back;
        back.start();
        QVERIFY2(WaitUntil(allMapped, 15000), "the rules did not come back");
        qInfo("round %d: every rule back %lld ms after the router answered", round,
              static_cast<long long>(back.elapsed()));
        // One period, plus what one run takes.
        QVERIFY(back.elapsed() <= periodMs + 1000);
    }
}

QTEST_MAIN(WindowDaysTest)
#include "WindowDaysTest.moc"
