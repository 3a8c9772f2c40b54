#include "common/win32/Win32DialogView.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include "common/win32/DialogHelpers.h"
#include "common/win32/Dpi.h"
#include "common/win32/FileNames.h"

namespace varnok::win32 {

namespace {

constexpr std::size_t kFileNameBuffer = 256;

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

}  // namespace

bool HasClass(HWND window, const char* name) {
    char cls[32] = {0};
    return window != nullptr && GetClassNameA(window, cls, sizeof cls) != 0 &&
           lstrcmpiA(cls, name) == 0;
}

std::string Win32DialogView::text(int id) {
    HWND c = item(id);
    int length = GetWindowTextLengthA(c);  // 0 without the control
    if (length <= 0) return {};
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
    int n = GetWindowTextA(c, buffer.data(), length + 1);
    return std::string(buffer.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
}

void Win32DialogView::setText(int id, const std::string& text) {
    SetDlgItemTextA(hwnd_, id, text.c_str());
}

int Win32DialogView::checkState(int id) {
    return static_cast<int>(IsDlgButtonChecked(hwnd_, id));
}

void Win32DialogView::setCheckState(int id, int state) {
    CheckDlgButton(hwnd_, id, static_cast<UINT>(state));
}

void Win32DialogView::enable(int id, bool enabled) {
    if (HWND c = item(id)) EnableWindow(c, enabled ? TRUE : FALSE);
}

bool Win32DialogView::isEnabled(int id) {
    HWND c = item(id);
    return c != nullptr && IsWindowEnabled(c) != FALSE;
}

void Win32DialogView::show(int id, bool visible) {
    if (HWND c = item(id)) ShowWindow(c, visible ? SW_SHOW : SW_HIDE);
}

void Win32DialogView::setReadOnly(int id, bool readOnly) {
    send(id, EM_SETREADONLY, readOnly ? TRUE : FALSE, 0);
}

void Win32DialogView::selectAllText(int id) { send(id, EM_SETSEL, 0, -1); }

// The dialog's own controls, in z (template) order; windows that belong
// to a control (a list view's header) are not the dialog's children.
std::vector<int> Win32DialogView::childIds() {
    std::vector<int> ids;
    for (HWND c = GetWindow(hwnd_, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
        ids.push_back(GetDlgCtrlID(c));
    return ids;
}

void Win32DialogView::listReset(int id) { send(id, LB_RESETCONTENT, 0, 0); }

int Win32DialogView::listAdd(int id, const std::string& text) {
    LRESULT row = send(id, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (row < 0) return ui::kNoRow;
    // A list without strings takes the argument as item data: start
    // such rows with 0 like every other row.
    if (!hasStrings(id)) send(id, LB_SETITEMDATA, static_cast<WPARAM>(row), 0);
    return static_cast<int>(row);
}

void Win32DialogView::listSetItemData(int id, int row, intptr_t data) {
    send(id, LB_SETITEMDATA, static_cast<WPARAM>(row), static_cast<LPARAM>(data));
}

intptr_t Win32DialogView::listItemData(int id, int row) {
    return static_cast<intptr_t>(send(id, LB_GETITEMDATA, static_cast<WPARAM>(row), 0));
}

int Win32DialogView::listCount(int id) {
    LRESULT n = send(id, LB_GETCOUNT, 0, 0);
    return n < 0 ? 0 : static_cast<int>(n);
}

int Win32DialogView::listCurSel(int id) {
    LRESULT row = send(id, LB_GETCURSEL, 0, 0);
    return row < 0 ? -1 : static_cast<int>(row);
}

void Win32DialogView::listSetCurSel(int id, int row) {
    send(id, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
}

void Win32DialogView::listSetSel(int id, int row, bool selected) {
    send(id, LB_SETSEL, selected ? TRUE : FALSE, static_cast<LPARAM>(row));
}

std::vector<int> Win32DialogView::listSelectedRows(int id) {
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

bool Win32DialogView::listViewInsertColumn(int id, int column, const std::string& title,
                                           int width, bool rightAligned) {
    LVCOLUMNA col{};
    col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    col.fmt = rightAligned ? LVCFMT_RIGHT : LVCFMT_LEFT;
    col.cx = ui::ScaleForDpi(width, WindowDpi(hwnd_));
    col.pszText = const_cast<char*>(title.c_str());
    col.iSubItem = column;
    return send(id, LVM_INSERTCOLUMNA, static_cast<WPARAM>(column),
                reinterpret_cast<LPARAM>(&col)) != -1;
}

int Win32DialogView::listViewInsertRow(int id, int row, const std::string& text) {
    LVITEMA it{};
    it.mask = LVIF_TEXT;
    it.iItem = row;
    it.pszText = const_cast<char*>(text.c_str());
    LRESULT r = send(id, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&it));
    return r < 0 ? -1 : static_cast<int>(r);
}

bool Win32DialogView::listViewSetCell(int id, int row, int column, const std::string& text) {
    LVITEMA it{};
    it.iSubItem = column;
    it.pszText = const_cast<char*>(text.c_str());
    return send(id, LVM_SETITEMTEXTA, static_cast<WPARAM>(row),
                reinterpret_cast<LPARAM>(&it)) != FALSE;
}

void Win32DialogView::listViewDeleteAll(int id) { send(id, LVM_DELETEALLITEMS, 0, 0); }

std::vector<int> Win32DialogView::listViewSelectedRows(int id) {
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

void Win32DialogView::upDownSetRange(int id, int low, int high) {
    send(id, UDM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
}

ui::Answer Win32DialogView::messageBox(const std::string& text, const std::string& caption,
                                       ui::Icon icon, ui::Buttons buttons) {
    const UINT style = MessageBoxStyle(icon, buttons);
    const int answer = options_.placedMessageBoxes
                           ? PlacedMessageBox(text.c_str(), caption.c_str(), style)
                           : MessageBoxA(hwnd_, text.c_str(), caption.c_str(), style);
    return AnswerOf(answer);
}

bool Win32DialogView::saveFileName(const ui::FileDialogOptions& options, std::string* path) {
    return fileDialog(options, path, true);
}

bool Win32DialogView::openFileName(const ui::FileDialogOptions& options, std::string* path) {
    return fileDialog(options, path, false);
}

void Win32DialogView::setCursor(ui::Cursor cursor) {
    LPCSTR name = IDC_ARROW;
    if (cursor == ui::Cursor::AppStarting) name = IDC_APPSTARTING;
    else if (cursor == ui::Cursor::Wait) name = IDC_WAIT;
    SetCursor(LoadCursorA(nullptr, name));
}

void Win32DialogView::setTimer(int timerId, unsigned ms) {
    SetTimer(hwnd_, static_cast<UINT_PTR>(timerId), ms, nullptr);
}

void Win32DialogView::killTimer(int timerId) { KillTimer(hwnd_, static_cast<UINT_PTR>(timerId)); }

void Win32DialogView::shellOpen(const std::string& document) {
    ShellExecuteA(hwnd_, "open", document.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Win32DialogView::setIcon(int resourceId) {
    iconId_ = resourceId;
    loadIcons(WindowDpi(hwnd_));
}

void Win32DialogView::addToolTip(int id, const std::string& text) {
    if (HWND tip = AddToolTip(id, hwnd_, text.c_str())) toolTips_.push_back(tip);
}

void Win32DialogView::repaintNow() {
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void Win32DialogView::endDialog(int result) { EndDialog(hwnd_, result); }

void Win32DialogView::post(std::function<void()> task) {
    std::lock_guard<std::mutex> lock(postedMutex_);
    if (hwnd_ == nullptr || closed_) return;
    posted_.push_back(std::move(task));
    // One wake-up per task; the queue, not the message, carries it, so
    // nothing leaks when the window goes first.
    PostMessageA(hwnd_, kPostedTaskMessage, 0, 0);
}

void Win32DialogView::runPosted() {
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

void Win32DialogView::dropPosted() {
    std::lock_guard<std::mutex> lock(postedMutex_);
    posted_.clear();
    closed_ = true;
}

void Win32DialogView::setBusyText(const std::string& text) {
    if (text == busyText_) return;
    busyText_ = text;
    InvalidateRect(hwnd_, nullptr, FALSE);
}

int Win32DialogView::runModal(int resourceId, ui::DialogLogic& logic) {
    return RunHostedDialog(hwnd_, resourceId, logic, config_);
}

void Win32DialogView::applyDpi(int oldDpi, int dpi) {
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
            SendMessageA(c, LVM_SETCOLUMNWIDTH, col, MAKELPARAM(ui::ConvertDpi(w, oldDpi, dpi), 0));
        }
    }
}

void Win32DialogView::loadIcons(int dpi) {
    unique_hicon big = LoadIconForDpi(iconId_, SM_CXICON, SM_CYICON, dpi);
    unique_hicon smallIcon = LoadIconForDpi(iconId_, SM_CXSMICON, SM_CYSMICON, dpi);
    if (big) SendMessageA(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    if (smallIcon)
        SendMessageA(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.get()));
    // The window no longer uses the icons these replace.
    if (big) bigIcon_ = std::move(big);
    if (smallIcon) smallIcon_ = std::move(smallIcon);
}

bool Win32DialogView::hasStrings(int id) const {
    HWND c = item(id);
    if (c == nullptr) return false;
    LONG_PTR style = GetWindowLongPtrA(c, GWL_STYLE);
    if ((style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) == 0) return true;
    return (style & LBS_HASSTRINGS) != 0;
}

// The wide dialogs: the chosen name reaches the caller as typed (UTF-8),
// whatever the ANSI code page.
bool Win32DialogView::fileDialog(const ui::FileDialogOptions& options, std::string* path,
                                 bool save) {
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

}  // namespace varnok::win32
