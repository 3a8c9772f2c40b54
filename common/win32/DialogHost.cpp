#include "common/win32/DialogHost.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/win32/DialogHelpers.h"
#include "common/win32/Dpi.h"
#include "common/win32/Win32DialogView.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace varnok::win32 {

namespace {

// Owner-drawn rows at 96 dpi: the height Windows gives such rows with the
// system font, and the text's distance from the row's left edge.
constexpr int kRowHeight96 = 16;
constexpr int kRowTextIndent96 = 6;
constexpr int kRowTextPadding96 = 2;

ui::Event EventOf(WORD code) {
    switch (code) {
        case BN_CLICKED: return ui::Event::Clicked;
        case LBN_SELCHANGE: return ui::Event::SelectionChanged;
        case EN_CHANGE: return ui::Event::ValueChanged;
        default: return ui::Event::Other;
    }
}

// The rectangle of `child` in the client coordinates of `dialog`.
bool ClientRectOf(HWND dialog, HWND child, RECT* r) {
    if (!GetWindowRect(child, r)) return false;
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(r), 2);
    return true;
}

// Whether the list box of a WM_MEASUREITEM or WM_DRAWITEM is the host's
// owner-drawn list.
bool IsOwnerDrawList(const DialogHostOptions& options, UINT type, UINT id) {
    return options.ownerDrawList != 0 && type == ODT_LISTBOX &&
           static_cast<int>(id) == options.ownerDrawList;
}

struct HostState {
    HostState(ui::DialogLogic& l, const DialogHostOptions& o, const DialogHostConfig& c)
        : logic(l), options(o), view(options, c) {}
    ui::DialogLogic& logic;
    DialogHostOptions options;
    Win32DialogView view;
    unique_hbitmap panels[2];
    unique_hbitmap picture;  // the SS_BITMAP static's image, once replaced

    // Resolution: the current one, and the layout taken when the dialog
    // opened (client coordinates at `layoutDpi`) with the template's font.
    int dpi = ui::kBaseDpi;
    int layoutDpi = ui::kBaseDpi;
    struct Placed {
        HWND child;
        ui::Box box;
    };
    std::vector<Placed> layout;
    HFONT templateFont = nullptr;  // owned by the dialog manager
    LOGFONTA templateLogFont{};
    // The template's font at `dpi`, when it differs; the controls use it,
    // the dialog itself keeps the template's (the dialog manager frees that).
    unique_hfont scaledFont;
};

// The dialog being created by RunHostedDialog: the owner-drawn list asks for
// its row height (WM_MEASUREITEM) before WM_INITDIALOG hands over the state.
HostState* g_creating = nullptr;

// Row height of the owner-drawn list: the 96-dpi height scaled, and never
// less than the text of the list's font with a little room.
int RowHeight(HWND dialog, HFONT font, int dpi) {
    int height = ui::ScaleForDpi(kRowHeight96, dpi);
    const unique_window_dc window = GetWindowDc(dialog);
    if (HDC dc = window.get().dc) {
        HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
        TEXTMETRICA tm;
        if (GetTextMetricsA(dc, &tm))
            height = std::max(height, static_cast<int>(tm.tmHeight) +
                                          ui::ScaleForDpi(kRowTextPadding96, dpi));
        if (old != nullptr) SelectObject(dc, old);
    }
    return height;
}

// The first static control of the template that shows a bitmap.
HWND FindPictureControl(HWND dialog) {
    for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        if (HasClass(c, "Static") && (GetWindowLongPtrA(c, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
            return c;
    }
    return nullptr;
}

// Busy panels and the template's picture, loaded for the current resolution.
void LoadPictures(HWND hwnd, HostState& st) {
    for (int i = 0; i < 2; ++i) {
        // A panel stands in for its list: away from 96 dpi it covers the
        // list's window, which grows with the dialog's font (a bitmap font
        // such as MS Sans Serif grows in steps, not with the resolution).
        const BusyPanel& p = st.options.busyPanels[i];
        if (p.bitmapId == 0) continue;
        RECT r;
        if (st.dpi != ui::kBaseDpi && ClientRectOf(hwnd, GetDlgItem(hwnd, p.listId), &r))
            st.panels[i] =
                LoadBitmapAtSize(p.bitmapId, p.largeBitmapId, r.right - r.left, r.bottom - r.top);
        else
            st.panels[i] = LoadBitmapForDpi(p.bitmapId, p.largeBitmapId, st.dpi);
    }
    const StaticPicture& pic = st.options.picture;
    if (pic.bitmapId == 0 || (st.picture.get() == nullptr && st.dpi == ui::kBaseDpi)) return;
    HWND control = FindPictureControl(hwnd);
    unique_hbitmap scaled = LoadBitmapForDpi(pic.bitmapId, pic.largeBitmapId, st.dpi);
    if (control == nullptr || !scaled) return;
    // The control hands back the image it showed: the template's, which it
    // loaded and never frees, or ours. Either is freed here.
    unique_hbitmap previous(reinterpret_cast<HBITMAP>(SendMessageA(
        control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(scaled.get()))));
    if (st.picture || previous.get() == scaled.get()) previous.release();  // ours, or the same
    st.picture = std::move(scaled);
}

// Takes the layout the dialog has as it opens.
void TakeLayout(HWND hwnd, HostState& st) {
    st.layoutDpi = st.dpi;
    st.layout.clear();
    for (HWND c = GetWindow(hwnd, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r;
        if (!ClientRectOf(hwnd, c, &r)) continue;
        st.layout.push_back({c, {r.left, r.top, r.right, r.bottom}});
    }
    st.templateFont = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
    if (st.templateFont == nullptr ||
        GetObjectA(st.templateFont, sizeof st.templateLogFont, &st.templateLogFont) == 0)
        st.templateFont = nullptr;
}

// The window is now shown at `dpi` in rectangle `suggested` (screen
// coordinates, may be null): size, font, controls, rows and what the host
// draws follow.
void ApplyDpi(HWND hwnd, HostState& st, int dpi, const RECT* suggested) {
    const int oldDpi = st.dpi;
    st.dpi = ui::SaneDpi(dpi);
    if (suggested != nullptr)
        SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    unique_hfont made;
    if (st.templateFont != nullptr && st.dpi != st.layoutDpi) {
        LOGFONTA lf = st.templateLogFont;
        lf.lfHeight = ui::ConvertDpi(lf.lfHeight, st.layoutDpi, st.dpi);
        lf.lfWidth = ui::ConvertDpi(lf.lfWidth, st.layoutDpi, st.dpi);
        made.reset(CreateFontIndirectA(&lf));
    }
    const HFONT font = made ? made.get() : st.templateFont;
    for (const HostState::Placed& p : st.layout) {
        if (!IsWindow(p.child)) continue;
        const ui::Box b = ui::ConvertBox(p.box, st.layoutDpi, st.dpi);
        SetWindowPos(p.child, nullptr, b.left, b.top, b.right - b.left, b.bottom - b.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (font != nullptr) SendMessageA(p.child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    // Every control uses the new font now: the previous one can go.
    st.scaledFont = std::move(made);
    if (st.options.ownerDrawList != 0)
        SendDlgItemMessageA(hwnd, st.options.ownerDrawList, LB_SETITEMHEIGHT, 0,
                            RowHeight(hwnd, font, st.dpi));
    LoadPictures(hwnd, st);
    st.view.applyDpi(oldDpi, st.dpi);
    InvalidateRect(hwnd, nullptr, TRUE);
}

// Owner-drawn port list rows: the row's record gives text and colour; the
// background is never filled, a selected row gets a focus rectangle (drawn
// by XOR, so a selection change toggles it), focus-only changes draw nothing.
void DrawListRow(HostState& st, const DRAWITEMSTRUCT& di) {
    if (di.itemID == static_cast<UINT>(-1)) return;
    HDC dc = di.hDC;
    RECT rc = di.rcItem;
    bool focus = (di.itemAction & ODA_SELECT) != 0;
    if (di.itemAction & ODA_DRAWENTIRE) {
        std::string text;
        ui::Colour colour;
        if (!st.logic.rowAppearance(static_cast<int>(di.CtlID),
                                    static_cast<intptr_t>(di.itemData), &text, &colour))
            return;
        TEXTMETRICA tm{};
        GetTextMetricsA(dc, &tm);
        const int y = (rc.top + rc.bottom - tm.tmHeight) / 2;
        SetTextColor(dc, RGB(colour.red, colour.green, colour.blue));
        TextOutA(dc, ui::ScaleForDpi(kRowTextIndent96, st.dpi), y, text.c_str(),
                 static_cast<int>(text.size()));
        focus = (di.itemState & ODS_SELECTED) != 0;
    }
    if (focus) {
        SetTextColor(dc, RGB(0, 0, 0));
        DrawFocusRect(dc, &rc);
    }
}

// The busy line, in the controls' font (so at the current resolution), on a
// white band across the top of the first busy panel.
void PaintBusyText(HWND hwnd, HostState& st, HDC dc) {
    const std::string& text = st.view.busyText();
    RECT r;
    if (text.empty() || !ClientRectOf(hwnd, GetDlgItem(hwnd, st.options.busyPanels[0].listId), &r))
        return;
    HFONT font = st.scaledFont ? st.scaledFont.get() : st.templateFont;
    HGDIOBJ oldFont = font != nullptr ? SelectObject(dc, font) : nullptr;
    TEXTMETRICA tm;
    const int lineHeight = GetTextMetricsA(dc, &tm) ? tm.tmHeight : ui::ScaleForDpi(16, st.dpi);
    RECT band = r;
    band.bottom = std::min<LONG>(r.bottom, r.top + lineHeight + ui::ScaleForDpi(8, st.dpi));
    FillRect(dc, &band, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &band,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    if (oldFont != nullptr) SelectObject(dc, oldFont);
}

void PaintBusyPanels(HWND hwnd, HostState& st) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (dc == nullptr) return;
    const unique_hdc memory(CreateCompatibleDC(dc));
    for (int i = 0; i < 2 && memory; ++i) {
        RECT r;
        BITMAP bm;
        if (st.panels[i].get() == nullptr ||
            !ClientRectOf(hwnd, GetDlgItem(hwnd, st.options.busyPanels[i].listId), &r) ||
            GetObjectA(st.panels[i].get(), sizeof bm, &bm) == 0)
            continue;
        HGDIOBJ old = SelectObject(memory.get(), st.panels[i].get());
        BitBlt(dc, r.left, r.top, bm.bmWidth, bm.bmHeight, memory.get(), 0, 0, SRCCOPY);
        SelectObject(memory.get(), old);
    }
    PaintBusyText(hwnd, st, dc);
    EndPaint(hwnd, &ps);
}

INT_PTR CALLBACK HostProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        auto* st = reinterpret_cast<HostState*>(lp);
        SetWindowLongPtrA(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(st));
        st->view.attach(hwnd);
        if (st->options.placedMessageBoxes) SetMainDialogWindow(hwnd);
        TakeOverDpiLayout(hwnd);
        st->dpi = WindowDpi(hwnd);
        TakeLayout(hwnd, *st);
        LoadPictures(hwnd, *st);
        st->logic.onInit(st->view);
        // TRUE lets the system give the focus.
        return TRUE;
    }
    auto* st = reinterpret_cast<HostState*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    if (msg == WM_MEASUREITEM) {
        // Sent while the controls are created, before WM_INITDIALOG.
        HostState* owner = st != nullptr ? st : g_creating;
        auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
        if (owner == nullptr || mi == nullptr ||
            !IsOwnerDrawList(owner->options, mi->CtlType, mi->CtlID))
            return FALSE;
        // The list has no font yet; it gets the dialog's.
        HFONT font = reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0));
        mi->itemHeight = static_cast<UINT>(RowHeight(hwnd, font, WindowDpi(hwnd)));
        SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    if (st == nullptr) return FALSE;
    switch (msg) {
        case WM_COMMAND:
            st->logic.onCommand(st->view, LOWORD(wp), EventOf(HIWORD(wp)));
            return TRUE;
        case WM_TIMER:
            st->logic.onTimer(st->view, static_cast<int>(wp));
            return TRUE;
        case WM_NOTIFY: {
            const auto* hdr = reinterpret_cast<const NMHDR*>(lp);
            if (hdr != nullptr && hdr->code == static_cast<UINT>(UDN_DELTAPOS)) {
                const auto* ud = reinterpret_cast<const NMUPDOWN*>(lp);
                bool forbid = st->logic.onUpDownDelta(st->view, static_cast<int>(hdr->idFrom),
                                                      ud->iPos, ud->iDelta);
                SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, forbid ? TRUE : FALSE);
                return TRUE;
            }
            return FALSE;
        }
        case WM_LBUTTONDOWN:
            st->logic.onLeftClick(st->view);
            return TRUE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            if (!st->options.whiteBrush) return FALSE;
            if (msg == WM_CTLCOLORSTATIC) SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
            return reinterpret_cast<INT_PTR>(WhiteBrush());
        case WM_DRAWITEM: {
            const auto* di = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
            if (di == nullptr || !IsOwnerDrawList(st->options, di->CtlType, di->CtlID))
                return FALSE;
            DrawListRow(*st, *di);
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        case WM_PAINT:
            if (st->options.busyPanels[0].bitmapId == 0 && st->options.busyPanels[1].bitmapId == 0)
                return FALSE;
            PaintBusyPanels(hwnd, *st);
            return TRUE;
        case WM_DPICHANGED:
            ApplyDpi(hwnd, *st, HIWORD(wp), reinterpret_cast<const RECT*>(lp));
            SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, 0);
            return TRUE;
        case kPostedTaskMessage:
            st->view.runPosted();
            return TRUE;
        case WM_DESTROY:
            st->logic.onDestroy(st->view);
            st->view.dropPosted();
            for (unique_hbitmap& b : st->panels) b.reset();
            if (MainDialogWindow() == hwnd) SetMainDialogWindow(nullptr);
            return FALSE;
        case WM_NCDESTROY:
            SetWindowLongPtrA(hwnd, DWLP_USER, 0);
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

int RunHostedDialog(HWND owner, int resourceId, ui::DialogLogic& logic,
                    const DialogHostConfig& config) {
    const auto it = config.find(resourceId);
    HostState state(logic, it != config.end() ? it->second : DialogHostOptions{}, config);
    HostState* const outer = g_creating;  // a dialog opened from another's handler
    g_creating = &state;
    INT_PTR result = DialogBoxParamA(ProgramInstance(), MAKEINTRESOURCEA(resourceId), owner,
                                     HostProc, reinterpret_cast<LPARAM>(&state));
    g_creating = outer;
    return static_cast<int>(result);
}

}  // namespace varnok::win32
