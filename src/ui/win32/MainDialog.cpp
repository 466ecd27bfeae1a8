#include "ui/win32/MainDialog.h"

#include <cwchar>

#include "platform/LoginEntry.h"
#include "platform/win32/ShowRequests.h"
#include "platform/win32/Utf16.h"
#include "resource.h"
#include "ui/win32/CatalogTexts.h"
#include "ui/win32/VersionBox.h"

namespace win32ui {

CMainDialog::CMainDialog(HINSTANCE instance, Profile* profile, bool startedAtLogin)
    : CDialogBase(instance, IDD_PONTARO_DIALOG),
      logic_(*this, profile),
      m_hIcon(LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME))) {
    logic_.SetStartedAtLogin(startedAtLogin);
}

CMainDialog::~CMainDialog() {
    if (smallIcon_ != nullptr)
        DestroyIcon(smallIcon_);
    if (trayIconImage_ != nullptr)
        DestroyIcon(trayIconImage_);
}

std::string CMainDialog::GetRuleText() {
    return GetItemText(IDC_RULES);
}
void CMainDialog::SetRuleText(const std::string& crlfText) {
    SetItemText(IDC_RULES, crlfText);
}
bool CMainDialog::GetAutoUpdate() {
    return GetCheck(IDC_AUTO_UPDATE);
}
void CMainDialog::SetAutoUpdate(bool on) {
    SetCheck(IDC_AUTO_UPDATE, on);
}
bool CMainDialog::GetAutoMinimize() {
    return GetCheck(IDC_AUTO_MINIMIZE);
}
void CMainDialog::SetAutoMinimize(bool on) {
    SetCheck(IDC_AUTO_MINIMIZE, on);
}
void CMainDialog::SetOpenIpv6(bool on) {
    if (HMENU systemMenu = GetSystemMenu(Handle(), FALSE); systemMenu != nullptr)
        CheckMenuItem(systemMenu, IDM_OPENIPV6, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}
// The text goes in as a replaced empty selection at the end; the caret then
// goes back to the start, where setting the whole text would leave it, and
// the view is scrolled relative to where the insertion left it.
void CMainDialog::AppendLog(const std::string& crlfText) {
    const HWND box = Item(IDC_LOG);
    const std::wstring wide = platform::Widen(crlfText);
    const LRESULT end = SendMessageW(box, WM_GETTEXTLENGTH, 0, 0);
    SendMessageW(box, EM_SETSEL, end, end);
    SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(wide.c_str()));
    ShowLogViewLine();
}

void CMainDialog::DropOldestLogLines(int lines) {
    const HWND box = Item(IDC_LOG);
    // The box does not wrap, so its lines are the log's lines.
    const LRESULT cut = SendMessageW(box, EM_LINEINDEX, lines, 0);
    const LRESULT end = cut < 0 ? SendMessageW(box, WM_GETTEXTLENGTH, 0, 0) : cut;
    SendMessageW(box, EM_SETSEL, 0, end);
    SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
    ShowLogViewLine();
}

void CMainDialog::ShowLogViewLine() {
    const HWND box = Item(IDC_LOG);
    SendMessageW(box, EM_SETSEL, 0, 0);
    const LRESULT top = SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0);
    SendMessageW(box, EM_LINESCROLL, 0, kLogViewLine - top);
}

void CMainDialog::HideWindow() {
    ShowWindow(Handle(), SW_HIDE);
}
void CMainDialog::MinimizeWindow() {
    ShowWindow(Handle(), SW_MINIMIZE);
}

std::wstring ApplicationName() {
    const std::wstring path = platform::Widen(platform::ThisProgram());
    if (path.empty())
        return L"Pontaro";
    const size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0)
        name.resize(dot);
    return name;
}

void CMainDialog::AddTrayIcon() {
    if (trayIconImage_ == nullptr) {
        trayIconImage_ = static_cast<HICON>(LoadImageW(
            Instance(), MAKEINTRESOURCEW(IDI_TRAY), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
            GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    }
    m_trayIcon = NOTIFYICONDATAW{};
    m_trayIcon.cbSize = sizeof(m_trayIcon);
    m_trayIcon.hWnd = Handle();
    m_trayIcon.uID = 0;
    m_trayIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_trayIcon.uCallbackMessage = WM_TRAYNOTIFY;
    m_trayIcon.hIcon = trayIconImage_;
    const std::wstring name = ApplicationName();
    const size_t room = sizeof(m_trayIcon.szTip) / sizeof(m_trayIcon.szTip[0]) - 1;
    wcsncpy(m_trayIcon.szTip, name.c_str(), room);
    m_trayIcon.szTip[room] = L'\0';
    Shell_NotifyIconW(NIM_ADD, &m_trayIcon);
    m_taskbarCreatedMsg = RegisterWindowMessageW(L"TaskbarCreated");
}

void CMainDialog::RemoveTrayIcon() {
    Shell_NotifyIconW(NIM_DELETE, &m_trayIcon);
}

INT_PTR CMainDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // The shell re-created the task bar: the icon has to be added again.
    if (m_taskbarCreatedMsg != 0 && message == m_taskbarCreatedMsg)
        AddTrayIcon();
    // (0 where the message could not be registered: WM_NULL must not show it.)
    if (const UINT showRequest = platform::ShowRequestMessage();
        showRequest != 0 && message == showRequest) {
        ShowAgain();
        SetForegroundWindow(Handle());
        SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, platform::kShowRequestAnswer);
        return TRUE;
    }

    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_SYSCOMMAND:
            return OnSysCommand(wParam) ? TRUE : FALSE;
        case WM_PAINT:
            return OnPaint() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            // One of the few messages whose answer is the procedure's result.
            return reinterpret_cast<INT_PTR>(m_hIcon);
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED) {
                logic_.Open();
                return TRUE;
            }
            break;  // IDCANCEL: the base ends the dialog
        case WM_TIMER:
            logic_.Tick();
            return TRUE;
        case WM_SIZE:
            OnSize(wParam);
            return FALSE;
        case WM_INITMENUPOPUP:
            // The system holds the start at login; it may have changed elsewhere.
            if (HIWORD(lParam) != 0)
                CheckMenuItem(reinterpret_cast<HMENU>(wParam), IDM_AUTOSTART,
                              MF_BYCOMMAND | (logic_.StartAtLogin() ? MF_CHECKED : MF_UNCHECKED));
            return FALSE;
        case WM_TRAYNOTIFY:
            OnTrayNotify(lParam);
            SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, 0);
            return TRUE;
        case WM_DESTROY:
            OnDestroy();
            return FALSE;
        default:
            break;
    }
    return CDialogBase::HandleMessage(message, wParam, lParam);
}

BOOL CMainDialog::OnInitDialog() {
    using texts::Msg;
    SetCatalogTexts(Handle(), {{IDOK, Msg::kWindowOpen},
                               {IDCANCEL, Msg::kWindowExit},
                               {IDC_EXAMPLE, Msg::kWindowExample},
                               {IDC_AUTO_UPDATE, Msg::kWindowAutoUpdate},
                               {IDC_AUTO_MINIMIZE, Msg::kWindowAutoMinimize}});
    FitRowToTexts(Handle(), {IDC_AUTO_UPDATE, IDC_AUTO_MINIMIZE}, IDOK, CheckBoxExtra());

    if (HMENU systemMenu = GetSystemMenu(Handle(), FALSE); systemMenu != nullptr) {
        // Closing and listing run like "Open"; the IPv6 switch gets its
        // check mark from the logic's Start below; the version box stays last.
        static constexpr struct {
            UINT command;
            Msg text;
        } kEntries[] = {
            {IDM_CLOSEPORTS, Msg::kMenuClosePorts},     {IDM_CLOSEALL, Msg::kMenuCloseAll},
            {IDM_SHOWMAPPINGS, Msg::kMenuShowMappings}, {IDM_OPENIPV6, Msg::kMenuOpenIpv6},
            {IDM_AUTOSTART, Msg::kMenuStartAtLogin},    {IDM_ABOUTBOX, Msg::kMenuAbout}};
        AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
        for (const auto& entry : kEntries)
            AppendMenuW(systemMenu, MF_STRING, entry.command,
                        platform::Widen(texts::Text(entry.text)).c_str());
    }

    smallIcon_ = static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(IDR_MAINFRAME),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessageW(Handle(), WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(smallIcon_ != nullptr ? smallIcon_ : m_hIcon));

    // The edit control stops taking text at 30000 characters by default; the
    // log grows for as long as the program runs (days of periodic runs).
    SendDlgItemMessageW(Handle(), IDC_LOG, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);

    platform::MarkShowTarget(Handle());
    SetTimer(Handle(), kTimerId, kTimerPeriodMs, nullptr);
    logic_.Start();  // settings, controls, tray icon
    return TRUE;     // the system sets the focus
}

bool CMainDialog::OnSysCommand(WPARAM command) {
    switch (command & 0xFFF0) {
        case SC_RESTORE:
            // Hidden in the notification area, only the icon or a later start
            // bring the window back (both without this command). Wine without
            // a window manager sends it by itself when the minimised window's
            // X events come late, and would put the window on screen.
            return !IsWindowVisible(Handle());
        case IDM_CLOSEPORTS:
            logic_.CloseRules();
            return true;
        case IDM_CLOSEALL:
            logic_.CloseAll();
            return true;
        case IDM_SHOWMAPPINGS:
            logic_.List();
            return true;
        case IDM_OPENIPV6:
            logic_.SetOpenIpv6(!logic_.OpenIpv6());
            return true;
        case IDM_AUTOSTART:
            logic_.SetStartAtLogin(!logic_.StartAtLogin());
            return true;
        case IDM_ABOUTBOX: {
            CVersionBox about(Instance());
            about.DoModal(Handle());
            return true;
        }
        default:
            return false;
    }
}

bool CMainDialog::OnPaint() {
    if (!IsIconic(Handle()))
        return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(Handle(), &paint);
    SendMessageW(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    const int iconWidth = GetSystemMetrics(SM_CXICON);
    const int iconHeight = GetSystemMetrics(SM_CYICON);
    RECT client;
    GetClientRect(Handle(), &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(Handle(), &paint);
    return true;
}

void CMainDialog::OnSize(WPARAM type) {
    // Minimised, the program lives only as its notification-area icon.
    if (type == SIZE_MINIMIZED)
        ShowWindow(Handle(), SW_HIDE);
}

void CMainDialog::OnTrayNotify(LPARAM mouseMessage) {
    if (mouseMessage == WM_LBUTTONDOWN || mouseMessage == WM_RBUTTONDOWN)
        ShowAgain();
}

void CMainDialog::ShowAgain() {
    ShowWindow(Handle(), SW_SHOW);
    if (IsIconic(Handle()))
        OpenIcon(Handle());
}

void CMainDialog::OnDestroy() {
    platform::UnmarkShowTarget(Handle());
    logic_.Finish();  // saves the options, removes the tray icon
}

}  // namespace win32ui
