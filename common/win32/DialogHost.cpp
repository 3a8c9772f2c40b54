#include "common/win32/DialogHost.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/win32/DialogHelpers.h"
#include "common/win32/FileNames.h"
#include "common/win32/Dpi.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace varnok::win32 {

namespace {

constexpr std::size_t kFileNameBuffer = 256;
// Owner-drawn rows at 96 dpi: the height Windows gives such rows with the
// system font, and the text's distance from the row's left edge.
constexpr int kRowHeight96 = 16;
constexpr int kRowTextIndent96 = 6;
constexpr int kRowTextPadding96 = 2;

// The only place that knows the Win32 numbers behind the view's words.
UINT MessageBoxStyle(ui::Icon icon, ui::Buttons buttons) {
    UINT style = buttons == ui::Buttons::OkCancel ? MB_OKCANCEL
                 : buttons == ui::Buttons::YesNo  ? MB_YESNO
                                                  : MB_OK;
    switch (icon) {
        case ui::Icon::Error: style |= MB_ICONERROR; break;
        case ui::Icon::Question: style |= MB_ICONQUESTION; break;
        case ui::Icon::Warning: style |= MB_ICONWARNING; break;
        case ui::Icon::Information: style |= MB_ICONINFORMATION; break;
        case ui::Icon::None: break;
    }
    return style;
}

ui::Answer AnswerOf(int id) {
    switch (id) {
        case IDOK: return ui::Answer::Ok;
        case IDYES: return ui::Answer::Yes;
        case IDNO: return ui::Answer::No;
        default: return ui::Answer::Cancel;  // IDCANCEL, or no box at all
    }
}

ui::Event EventOf(WORD code) {
    switch (code) {
        case BN_CLICKED: return ui::Event::Clicked;
        case LBN_SELCHANGE: return ui::Event::SelectionChanged;
        case EN_CHANGE: return ui::Event::ValueChanged;
        default: return ui::Event::Other;
    }
}

// True when `window` is of window class `name` (any case).
bool HasClass(HWND window, const char* name) {
    char cls[32] = {0};
    return window != nullptr && GetClassNameA(window, cls, sizeof cls) != 0 &&
           lstrcmpiA(cls, name) == 0;
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

// Wakes the dialog's thread for the tasks handed to it from other threads.
constexpr UINT kPostedTaskMessage = WM_APP + 17;

class Win32DialogView : public ui::DialogView {
public:
    Win32DialogView(const DialogHostOptions& options, const DialogHostConfig& config)
        : options_(options), config_(config) {}

    void attach(HWND hwnd) { hwnd_ = hwnd; }

    // --- generic controls ---
    std::string text(int id) override {
        HWND c = item(id);
        int length = GetWindowTextLengthA(c);  // 0 without the control
        if (length <= 0) return {};
        std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
        int n = GetWindowTextA(c, buffer.data(), length + 1);
        return std::string(buffer.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    void setText(int id, const std::string& text) override {
        SetDlgItemTextA(hwnd_, id, text.c_str());
    }
    int checkState(int id) override {
        return static_cast<int>(IsDlgButtonChecked(hwnd_, id));
    }
    void setCheckState(int id, int state) override {
        CheckDlgButton(hwnd_, id, static_cast<UINT>(state));
    }
    void enable(int id, bool enabled) override {
        if (HWND c = item(id)) EnableWindow(c, enabled ? TRUE : FALSE);
    }
    bool isEnabled(int id) override {
        HWND c = item(id);
        return c != nullptr && IsWindowEnabled(c) != FALSE;
    }
    void show(int id, bool visible) override {
        if (HWND c = item(id)) ShowWindow(c, visible ? SW_SHOW : SW_HIDE);
    }
    void setReadOnly(int id, bool readOnly) override {
        send(id, EM_SETREADONLY, readOnly ? TRUE : FALSE, 0);
    }
    void selectAllText(int id) override { send(id, EM_SETSEL, 0, -1); }
    // The dialog's own controls, in z (template) order; windows that belong
    // to a control (a list view's header) are not the dialog's children.
    std::vector<int> childIds() override {
        std::vector<int> ids;
        for (HWND c = GetWindow(hwnd_, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
            ids.push_back(GetDlgCtrlID(c));
        return ids;
    }

    // --- list boxes ---
    void listReset(int id) override { send(id, LB_RESETCONTENT, 0, 0); }
    int listAdd(int id, const std::string& text) override {
        LRESULT row = send(id, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
        if (row < 0) return ui::kNoRow;
        // A list without strings takes the argument as item data: start
        // such rows with 0 like every other row.
        if (!hasStrings(id)) send(id, LB_SETITEMDATA, static_cast<WPARAM>(row), 0);
        return static_cast<int>(row);
    }
    void listSetItemData(int id, int row, intptr_t data) override {
        send(id, LB_SETITEMDATA, static_cast<WPARAM>(row), static_cast<LPARAM>(data));
    }
    intptr_t listItemData(int id, int row) override {
        return static_cast<intptr_t>(send(id, LB_GETITEMDATA, static_cast<WPARAM>(row), 0));
    }
    int listCount(int id) override {
        LRESULT n = send(id, LB_GETCOUNT, 0, 0);
        return n < 0 ? 0 : static_cast<int>(n);
    }
    int listCurSel(int id) override {
        LRESULT row = send(id, LB_GETCURSEL, 0, 0);
        return row < 0 ? -1 : static_cast<int>(row);
    }
    void listSetCurSel(int id, int row) override {
        send(id, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
    }
    void listSetSel(int id, int row, bool selected) override {
        send(id, LB_SETSEL, selected ? TRUE : FALSE, static_cast<LPARAM>(row));
    }
    std::vector<int> listSelectedRows(int id) override {
        std::vector<int> rows;
        LRESULT n = send(id, LB_GETSELCOUNT, 0, 0);
        if (n == LB_ERR) {  // single-selection list
            int row = listCurSel(id);
            if (row >= 0) rows.push_back(row);
            return rows;
        }
        if (n <= 0) return rows;
        rows.resize(static_cast<std::size_t>(n));
        LRESULT got = send(id, LB_GETSELITEMS, static_cast<WPARAM>(n),
                           reinterpret_cast<LPARAM>(rows.data()));
        rows.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
        return rows;
    }

    // --- list view ---
    bool listViewInsertColumn(int id, int column, const std::string& title, int width,
                              bool rightAligned) override {
        LVCOLUMNA col{};
        col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        col.fmt = rightAligned ? LVCFMT_RIGHT : LVCFMT_LEFT;
        col.cx = ui::ScaleForDpi(width, WindowDpi(hwnd_));
        col.pszText = const_cast<char*>(title.c_str());
        col.iSubItem = column;
        return send(id, LVM_INSERTCOLUMNA, static_cast<WPARAM>(column),
                    reinterpret_cast<LPARAM>(&col)) != -1;
    }
    int listViewInsertRow(int id, int row, const std::string& text) override {
        LVITEMA it{};
        it.mask = LVIF_TEXT;
        it.iItem = row;
        it.pszText = const_cast<char*>(text.c_str());
        LRESULT r = send(id, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&it));
        return r < 0 ? -1 : static_cast<int>(r);
    }
    bool listViewSetCell(int id, int row, int column, const std::string& text) override {
        LVITEMA it{};
        it.iSubItem = column;
        it.pszText = const_cast<char*>(text.c_str());
        return send(id, LVM_SETITEMTEXTA, static_cast<WPARAM>(row),
                    reinterpret_cast<LPARAM>(&it)) != FALSE;
    }
    void listViewDeleteAll(int id) override { send(id, LVM_DELETEALLITEMS, 0, 0); }
    std::vector<int> listViewSelectedRows(int id) override {
        std::vector<int> rows;
        int count = static_cast<int>(send(id, LVM_GETITEMCOUNT, 0, 0));
        int row = -1;
        for (int guard = 0; guard < count; ++guard) {
            LRESULT next = send(id, LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED);
            if (next < 0 || next <= row) break;
            row = static_cast<int>(next);
            rows.push_back(row);
        }
        return rows;
    }

    // --- up-down ---
    void upDownSetRange(int id, int low, int high) override {
        send(id, UDM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
    }

    // --- boxes and common dialogs ---
    ui::Answer messageBox(const std::string& text, const std::string& caption, ui::Icon icon,
                          ui::Buttons buttons) override {
        const UINT style = MessageBoxStyle(icon, buttons);
        const int answer = options_.placedMessageBoxes
                               ? PlacedMessageBox(text.c_str(), caption.c_str(), style)
                               : MessageBoxA(hwnd_, text.c_str(), caption.c_str(), style);
        return AnswerOf(answer);
    }
    bool saveFileName(const ui::FileDialogOptions& options, std::string* path) override {
        return fileDialog(options, path, true);
    }
    bool openFileName(const ui::FileDialogOptions& options, std::string* path) override {
        return fileDialog(options, path, false);
    }

    void setCursor(ui::Cursor cursor) override {
        LPCSTR name = IDC_ARROW;
        if (cursor == ui::Cursor::AppStarting) name = IDC_APPSTARTING;
        else if (cursor == ui::Cursor::Wait) name = IDC_WAIT;
        SetCursor(LoadCursorA(nullptr, name));
    }
    void setTimer(int timerId, unsigned ms) override {
        SetTimer(hwnd_, static_cast<UINT_PTR>(timerId), ms, nullptr);
    }
    void killTimer(int timerId) override { KillTimer(hwnd_, static_cast<UINT_PTR>(timerId)); }
    void shellOpen(const std::string& document) override {
        ShellExecuteA(hwnd_, "open", document.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
    void setIcon(int resourceId) override {
        iconId_ = resourceId;
        loadIcons(WindowDpi(hwnd_));
    }
    void addToolTip(int id, const std::string& text) override {
        if (HWND tip = AddToolTip(id, hwnd_, text.c_str())) toolTips_.push_back(tip);
    }
    void repaintNow() override {
        RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    void endDialog(int result) override { EndDialog(hwnd_, result); }
    void post(std::function<void()> task) override {
        std::lock_guard<std::mutex> lock(postedMutex_);
        if (hwnd_ == nullptr || closed_) return;
        posted_.push_back(std::move(task));
        // One wake-up per task; the queue, not the message, carries it, so
        // nothing leaks when the window goes first.
        PostMessageA(hwnd_, kPostedTaskMessage, 0, 0);
    }
    // Runs the tasks waiting now (on the dialog's thread).
    void runPosted() {
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard<std::mutex> lock(postedMutex_);
                if (posted_.empty()) return;
                task = std::move(posted_.front());
                posted_.pop_front();
            }
            task();
        }
    }
    void dropPosted() {
        std::lock_guard<std::mutex> lock(postedMutex_);
        posted_.clear();
        closed_ = true;
    }
    void setBusyText(const std::string& text) override {
        if (text == busyText_) return;
        busyText_ = text;
        InvalidateRect(hwnd_, nullptr, FALSE);
    }
    const std::string& busyText() const { return busyText_; }
    int runModal(int resourceId, ui::DialogLogic& logic) override {
        return RunHostedDialog(hwnd_, resourceId, logic, config_);
    }

    // Icons, tooltip width and list view columns for resolution `dpi`
    // (coming from `oldDpi`).
    void applyDpi(int oldDpi, int dpi) {
        if (iconId_ != 0) loadIcons(dpi);
        for (HWND tip : toolTips_)
            SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, ui::ScaleForDpi(kToolTipWidth96, dpi));
        for (int id : childIds()) {
            HWND c = item(id);
            if (!HasClass(c, WC_LISTVIEWA)) continue;
            HWND header = reinterpret_cast<HWND>(SendMessageA(c, LVM_GETHEADER, 0, 0));
            const int columns =
                header != nullptr ? static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
            for (int col = 0; col < columns; ++col) {
                const int w = static_cast<int>(SendMessageA(c, LVM_GETCOLUMNWIDTH, col, 0));
                SendMessageA(c, LVM_SETCOLUMNWIDTH, col,
                             MAKELPARAM(ui::ConvertDpi(w, oldDpi, dpi), 0));
            }
        }
    }

private:
    void loadIcons(int dpi) {
        unique_hicon big = LoadIconForDpi(iconId_, SM_CXICON, SM_CYICON, dpi);
        unique_hicon smallIcon = LoadIconForDpi(iconId_, SM_CXSMICON, SM_CYSMICON, dpi);
        if (big) SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
        if (smallIcon)
            SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.get()));
        // The window no longer uses the icons these replace.
        if (big) bigIcon_ = std::move(big);
        if (smallIcon) smallIcon_ = std::move(smallIcon);
    }
    HWND item(int id) const { return GetDlgItem(hwnd_, id); }
    LRESULT send(int id, UINT msg, WPARAM wp, LPARAM lp) {
        return SendDlgItemMessageA(hwnd_, id, msg, wp, lp);
    }
    bool hasStrings(int id) const {
        HWND c = item(id);
        if (c == nullptr) return false;
        LONG_PTR style = GetWindowLongPtrA(c, GWL_STYLE);
        if ((style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) == 0) return true;
        return (style & LBS_HASSTRINGS) != 0;
    }
    // The wide dialogs: the chosen name reaches the caller as typed (UTF-8),
    // whatever the ANSI code page.
    bool fileDialog(const ui::FileDialogOptions& options, std::string* path, bool save) {
        wchar_t file[kFileNameBuffer] = {0};
        WideFromUtf8(options.initialName).copy(file, kFileNameBuffer - 1);
        // "DAT files\0*.dat\0\0"
        const std::wstring filter = WideFromUtf8(options.filterName) + L'\0' +
                                    WideFromUtf8(options.filterPattern) + L'\0' + L'\0';
        const std::wstring defaultExt = WideFromUtf8(options.defaultExt);
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = hwnd_;
        ofn.lpstrFilter = filter.c_str();
        ofn.nFilterIndex = 1;
        ofn.lpstrFile = file;
        ofn.nMaxFile = static_cast<DWORD>(kFileNameBuffer);
        ofn.lpstrDefExt = defaultExt.empty() ? nullptr : defaultExt.c_str();
        ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_EXPLORER;
        if (options.confirmOverwrite) ofn.Flags |= OFN_OVERWRITEPROMPT;
        if (options.fileMustExist) ofn.Flags = (ofn.Flags & ~OFN_PATHMUSTEXIST) | OFN_FILEMUSTEXIST;
        BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
        if (!ok) return false;
        file[kFileNameBuffer - 1] = L'\0';
        *path = Utf8FromWide(file);
        return !path->empty();
    }

    HWND hwnd_ = nullptr;
    std::mutex postedMutex_;
    std::deque<std::function<void()>> posted_;
    bool closed_ = false;
    std::string busyText_;
    const DialogHostOptions& options_;
    const DialogHostConfig& config_;
    int iconId_ = 0;
    unique_hicon bigIcon_;
    unique_hicon smallIcon_;
    std::vector<HWND> toolTips_;  // live until the process ends
};

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
