#include "ui/win32/CatalogTexts.h"

#include <string>
#include <vector>

#include "app/RowFit.h"
#include "ui/win32/DialogBase.h"

namespace win32ui {
namespace {

RECT ClientRectOf(HWND dialog, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// As the control draws it: its own font, & marking an access key.
int TextWidth(HWND control) {
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
    HDC dc = GetDC(control);
    if (dc == nullptr)
        return 0;
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT r{};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_SINGLELINE);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return r.right - r.left;
}

}  // namespace

void SetCatalogTexts(HWND dialog, std::initializer_list<std::pair<int, texts::Msg>> texts) {
    for (const auto& [id, msg] : texts)
        SetWindowTextUtf8(id == 0 ? dialog : GetDlgItem(dialog, id), texts::Text(msg));
}

int CheckBoxExtra() {
    return GetSystemMetrics(SM_CXMENUCHECK) + 4 * GetSystemMetrics(SM_CXEDGE);
}

void FitRowToTexts(HWND dialog, std::initializer_list<int> ids, int limitId, int extra) {
    RECT gap{0, 0, 4, 0};
    MapDialogRect(dialog, &gap);
    std::vector<HWND> controls;
    std::vector<RECT> rects;
    std::vector<row_fit::Span> laidOut;
    std::vector<int> needed;
    for (const int id : ids) {
        const HWND control = GetDlgItem(dialog, id);
        if (control == nullptr)
            return;
        const RECT r = ClientRectOf(dialog, control);
        controls.push_back(control);
        rects.push_back(r);
        laidOut.push_back({r.left, r.right - r.left});
        needed.push_back(TextWidth(control) + extra);
    }
    const HWND limitControl = GetDlgItem(dialog, limitId);
    if (limitControl == nullptr)
        return;
    const int limit = ClientRectOf(dialog, limitControl).left - gap.right;
    const std::vector<row_fit::Span> fitted = row_fit::Fit(laidOut, needed, gap.right, limit);
    for (size_t i = 0; i < controls.size(); ++i) {
        if (fitted[i] == laidOut[i])
            continue;
        SetWindowPos(controls[i], nullptr, fitted[i].x, rects[i].top, fitted[i].width,
                     rects[i].bottom - rects[i].top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

}  // namespace win32ui
