#include "ui/qt/MainDialog.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTextCursor>
#include <QTextDocument>

#include "app/WindowController.h"
#include "app/texts/Catalog.h"
#include "text/Text.h"
#include "ui/qt/DialogUnits.h"
#include "ui/qt/VersionBox.h"

using texts::Msg;

const CatalogText kAboutMenuText{Msg::kMenuAbout};
const CatalogText kCloseMenuText{Msg::kMenuClosePorts};
const CatalogText kCloseAllMenuText{Msg::kMenuCloseAll};
const CatalogText kListMenuText{Msg::kMenuShowMappings};
const CatalogText kOpenIpv6MenuText{Msg::kMenuOpenIpv6};
const CatalogText kStartAtLoginMenuText{Msg::kMenuStartAtLogin};

namespace {

constexpr int kTickMs = 100;

// The rule box and the log keep LF; the logic speaks CR LF.
std::string PlainTextOf(const QPlainTextEdit* edit) {
    QString s = edit->document()->toRawText();
    s.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    s.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text::LfToCrLf(s.toStdString());
}

void SetPlainTextOf(QPlainTextEdit* edit, const std::string& crlfText) {
    edit->setPlainText(QString::fromStdString(text::CrLfToLf(crlfText)));
}

// The tip holds the application's name, at most 63 bytes of it.
QString TrayTip() {
    QByteArray name = QCoreApplication::applicationName().toUtf8();
    if (name.size() > 63) {
        int cut = 63;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.truncate(cut);
    }
    return QString::fromUtf8(name);
}

}  // namespace

// Outside any namespace, as Q_INIT_RESOURCE requires.
static void InitIconResources() {
    Q_INIT_RESOURCE(pontaro);
}

CMainDialog::CMainDialog(TrayMode trayMode, QWidget* parent)
    : QDialog(parent), trayMode_(trayMode) {
    InitIconResources();
    // A top-level window of its own (a task-bar button, minimisable), of fixed
    // size, without a maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Pontaro"));
    setWindowIcon(AppIcon());
    setFont(DialogFont(QStringLiteral("MS UI Gothic"), 8));
    const DialogMetrics m = MetricsOf(font());
    CreateButtonsAndBoxes(m);
    CreateTextsAndChecks(m);
    setTabOrder(open_, exit_);
    setTabOrder(exit_, log_);
    setTabOrder(log_, rules_);
    setTabOrder(rules_, autoUpdate_);
    setTabOrder(autoUpdate_, autoMinimize_);
    setFixedSize(DialogSize(m, 320, 340));
    ConnectControls();
}

// Created in the template's order, which is also the tab order.
void CMainDialog::CreateButtonsAndBoxes(const DialogMetrics& m) {
    open_ = new QPushButton(CatalogText(Msg::kWindowOpen).ToQString(), this);
    open_->setObjectName(QStringLiteral("open"));
    open_->setGeometry(DialogRect(m, 205, 125, 50, 16));
    open_->setDefault(true);

    exit_ = new QPushButton(CatalogText(Msg::kWindowExit).ToQString(), this);
    exit_->setObjectName(QStringLiteral("exit"));
    exit_->setGeometry(DialogRect(m, 263, 125, 50, 16));

    log_ = new QPlainTextEdit(this);
    log_->setObjectName(QStringLiteral("log"));
    log_->setGeometry(DialogRect(m, 7, 154, 306, 179));
    log_->setReadOnly(true);
    log_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    log_->setLineWrapMode(QPlainTextEdit::NoWrap);
    log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    log_->setTabChangesFocus(true);
    log_->setUndoRedoEnabled(false);

    rules_ = new QPlainTextEdit(this);
    rules_->setObjectName(QStringLiteral("rules"));
    rules_->setGeometry(DialogRect(m, 7, 35, 306, 82));
    rules_->setLineWrapMode(QPlainTextEdit::NoWrap);
    rules_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    rules_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    rules_->setTabChangesFocus(true);
}

void CMainDialog::CreateTextsAndChecks(const DialogMetrics& m) {
    example_ =
        new QLabel(QString::fromStdString(text::CrLfToLf(texts::Text(Msg::kWindowExample))), this);
    example_->setObjectName(QStringLiteral("example"));
    example_->setTextFormat(Qt::PlainText);
    example_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    example_->setWordWrap(true);
    example_->setGeometry(DialogRect(m, 7, 7, 306, 28));

    autoUpdate_ = new QCheckBox(CatalogText(Msg::kWindowAutoUpdate).ToQString(), this);
    autoUpdate_->setObjectName(QStringLiteral("autoUpdate"));

    autoMinimize_ = new QCheckBox(CatalogText(Msg::kWindowAutoMinimize).ToQString(), this);
    autoMinimize_->setObjectName(QStringLiteral("autoMinimize"));
    // Up to "Open" (made before these, in the template's order).
    FitRow(m, {autoUpdate_, autoMinimize_},
           {DialogRect(m, 7, 128, 59, 10), DialogRect(m, 81, 128, 66, 10)},
           open_->geometry().left() - DialogSize(m, 4, 0).width());
}

void CMainDialog::ConnectControls() {
    connect(rules_->document(), &QTextDocument::contentsChanged, this,
            [this] { ruleTextValid_ = false; });
    connect(open_, &QPushButton::clicked, this, &CMainDialog::OnOpen);
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, &CMainDialog::ShowVersionBox);

    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, &CMainDialog::OnTick);
    // Ticks count only while the box is ticked; the timer sleeps otherwise.
    connect(autoUpdate_, &QCheckBox::toggled, this, [this](bool on) {
        if (on && started_ && !destroyed_ && !timer_.isActive())
            timer_.start();
    });
}

CMainDialog::~CMainDialog() = default;

void CMainDialog::Start() {
    if (started_)
        return;
    started_ = true;
    if (logic_ != nullptr)
        logic_->Start();
    // Started at login with a notification area: the first tick would only
    // hide the window again.
    if (logic_ == nullptr || !logic_->StartedAtLogin() || !TrayUsable())
        show();
    timer_.start();
}

// A window hidden while minimised would come back as an icon where no
// window manager restores it: it comes back in its normal size.
void CMainDialog::ShowFromElsewhere() {
    if (isHidden())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void CMainDialog::done(int result) {
    if (started_ && !destroyed_) {
        destroyed_ = true;
        timer_.stop();
        if (logic_ != nullptr)
            logic_->Finish();
    }
    QDialog::done(result);
}

void CMainDialog::OnOpen() {
    if (logic_ != nullptr)
        logic_->Open();
}

void CMainDialog::OnTick() {
    if (logic_ == nullptr)
        return;
    logic_->Tick();
    if (!logic_->TimerNeeded())
        timer_.stop();
}

// The logic reads the rule box at every tick; convert only after a change.
std::string CMainDialog::GetRuleText() {
    if (!ruleTextValid_) {
        ruleText_ = PlainTextOf(rules_);
        ruleTextValid_ = true;
    }
    return ruleText_;
}

void CMainDialog::SetRuleText(const std::string& crlfText) {
    SetPlainTextOf(rules_, crlfText);
}

bool CMainDialog::GetAutoUpdate() {
    return autoUpdate_->isChecked();
}

void CMainDialog::SetAutoUpdate(bool on) {
    autoUpdate_->setChecked(on);
}

bool CMainDialog::GetAutoMinimize() {
    return autoMinimize_->isChecked();
}

void CMainDialog::SetAutoMinimize(bool on) {
    autoMinimize_->setChecked(on);
}

void CMainDialog::SetOpenIpv6(bool on) {
    openIpv6_ = on;
}

std::string CMainDialog::GetLogText() {
    return PlainTextOf(log_);
}

void CMainDialog::SetLogText(const std::string& crlfText) {
    SetPlainTextOf(log_, crlfText);
}

// In a log that does not wrap, one step of the vertical scroll bar is one
// line; the bar stops at its end like EM_LINESCROLL does.
void CMainDialog::AppendLog(const std::string& crlfText) {
    QTextCursor end(log_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(QString::fromStdString(text::CrLfToLf(crlfText)));
    ShowLogViewLine();
}

void CMainDialog::DropOldestLogLines(int lines) {
    QTextCursor head(log_->document());
    head.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, lines);
    head.removeSelectedText();
    ShowLogViewLine();
}

void CMainDialog::ShowLogViewLine() {
    QScrollBar* bar = log_->verticalScrollBar();
    bar->setValue(std::clamp(kLogViewLine, bar->minimum(), bar->maximum()));
}

bool CMainDialog::TrayUsable() const {
    if (tray_ == nullptr || !tray_->isVisible())
        return false;
    switch (trayMode_) {
        case TrayMode::kAlways:
            return true;
        case TrayMode::kNever:
            return false;
        case TrayMode::kAuto:
            break;
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

// Without a notification area a hidden window could not be brought back, so
// the window then stays minimised in the task bar instead.
void CMainDialog::HideWindow() {
    if (TrayUsable())
        hide();
}

void CMainDialog::MinimizeWindow() {
    if (TrayUsable()) {
        setWindowState(windowState() | Qt::WindowMinimized);
        hide();
    } else {
        showMinimized();
    }
}

void CMainDialog::AddTrayIcon() {
    if (trayMode_ == TrayMode::kNever)
        return;
    if (tray_ == nullptr) {
        tray_ = new QSystemTrayIcon(TrayIconImage(), this);
        tray_->setToolTip(TrayTip());
        connect(tray_, &QSystemTrayIcon::activated, this, &CMainDialog::OnTrayActivated);
    }
    // Qt puts the icon back by itself when the notification area restarts.
    tray_->show();
}

void CMainDialog::RemoveTrayIcon() {
    if (tray_ != nullptr)
        tray_->hide();
}

// A left or right press brings the window back; moves, releases, double
// clicks and the middle button do nothing.
void CMainDialog::OnTrayActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context)
        ShowFromElsewhere();
}

void CMainDialog::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized() || !TrayUsable())
        return;
    // Hiding from inside the state change confuses some window managers.
    QTimer::singleShot(0, this, [this] {
        if (isMinimized() && TrayUsable())
            hide();
    });
}

QMenu* CMainDialog::CreateContextMenu() {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // These run like "Open": on this thread, into the same log.
    QAction* close = menu->addAction(kCloseMenuText.ToQString());
    connect(close, &QAction::triggered, this, [this] {
        if (logic_ != nullptr)
            logic_->CloseRules();
    });
    QAction* closeAll = menu->addAction(kCloseAllMenuText.ToQString());
    connect(closeAll, &QAction::triggered, this, [this] {
        if (logic_ != nullptr)
            logic_->CloseAll();
    });
    QAction* list = menu->addAction(kListMenuText.ToQString());
    connect(list, &QAction::triggered, this, [this] {
        if (logic_ != nullptr)
            logic_->List();
    });
    menu->addSeparator();
    QAction* ipv6 = menu->addAction(kOpenIpv6MenuText.ToQString());
    ipv6->setCheckable(true);
    ipv6->setChecked(openIpv6_);
    connect(ipv6, &QAction::toggled, this, [this](bool on) {
        if (logic_ != nullptr)
            logic_->SetOpenIpv6(on);
    });
    // Its check mark is the system's, read as the menu opens.
    QAction* atLogin = menu->addAction(kStartAtLoginMenuText.ToQString());
    atLogin->setCheckable(true);
    atLogin->setChecked(logic_ != nullptr && logic_->StartAtLogin());
    connect(atLogin, &QAction::toggled, this, [this](bool on) {
        if (logic_ != nullptr)
            logic_->SetStartAtLogin(on);
    });
    menu->addSeparator();
    QAction* about = menu->addAction(kAboutMenuText.ToQString());
    connect(about, &QAction::triggered, this, &CMainDialog::ShowVersionBox);
    return menu;
}

// Controls that have a menu of their own (the two text boxes) keep it; a
// right click anywhere else on the window offers closing, listing, the
// IPv6 switch, the start at login and the version box.
void CMainDialog::contextMenuEvent(QContextMenuEvent* event) {
    CreateContextMenu()->popup(event->globalPos());
    event->accept();
}

void CMainDialog::ShowVersionBox() {
    CVersionBox box(AppIcon(), this);
    box.exec();
}

QIcon CMainDialog::AppIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/pontaro-%1.png").arg(size), QSize(size, size));
    return icon;
}

QIcon CMainDialog::TrayIconImage() {
    QIcon icon(QStringLiteral(":/icons/tray.ico"));
    if (icon.availableSizes().isEmpty())
        icon = QIcon(QStringLiteral(":/icons/pontaro-16.png"));
    return icon;
}
