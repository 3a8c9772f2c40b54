// The Win32 ui::DialogView over the window of a dialog that RunHostedDialog
// runs: controls, lists, list views, message boxes, file dialogs, tasks
// posted from other threads, and the window's icons at its resolution.
#pragma once
#include <windows.h>

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "common/platform/DialogView.h"
#include "common/win32/DialogHost.h"
#include "common/win32/Handles.h"

namespace varnok::win32 {

// Wakes the dialog's thread for the tasks handed to it from other threads.
constexpr UINT kPostedTaskMessage = WM_APP + 17;

// True when `window` is of window class `name` (any case).
bool HasClass(HWND window, const char* name);

class Win32DialogView : public ui::DialogView {
public:
    Win32DialogView(const DialogHostOptions& options, const DialogHostConfig& config)
        : options_(options), config_(config) {}

    void attach(HWND hwnd) { hwnd_ = hwnd; }

    // --- generic controls ---
    std::string text(int id) override;
    void setText(int id, const std::string& text) override;
    int checkState(int id) override;
    void setCheckState(int id, int state) override;
    void enable(int id, bool enabled) override;
    bool isEnabled(int id) override;
    void show(int id, bool visible) override;
    void setReadOnly(int id, bool readOnly) override;
    void selectAllText(int id) override;
    std::vector<int> childIds() override;

    // --- list boxes ---
    void listReset(int id) override;
    int listAdd(int id, const std::string& text) override;
    void listSetItemData(int id, int row, intptr_t data) override;
    intptr_t listItemData(int id, int row) override;
    int listCount(int id) override;
    int listCurSel(int id) override;
    void listSetCurSel(int id, int row) override;
    void listSetSel(int id, int row, bool selected) override;
    std::vector<int> listSelectedRows(int id) override;

    // --- list view ---
    bool listViewInsertColumn(int id, int column, const std::string& title, int width,
                              bool rightAligned) override;
    int listViewInsertRow(int id, int row, const std::string& text) override;
    bool listViewSetCell(int id, int row, int column, const std::string& text) override;
    void listViewDeleteAll(int id) override;
    std::vector<int> listViewSelectedRows(int id) override;

    // --- up-down ---
    void upDownSetRange(int id, int low, int high) override;

    // --- boxes and common dialogs ---
    ui::Answer messageBox(const std::string& text, const std::string& caption, ui::Icon icon,
                          ui::Buttons buttons) override;
    bool saveFileName(const ui::FileDialogOptions& options, std::string* path) override;
    bool openFileName(const ui::FileDialogOptions& options, std::string* path) override;

    void setCursor(ui::Cursor cursor) override;
    void setTimer(int timerId, unsigned ms) override;
    void killTimer(int timerId) override;
    void shellOpen(const std::string& document) override;
    void setIcon(int resourceId) override;
    void addToolTip(int id, const std::string& text) override;
    void repaintNow() override;
    void endDialog(int result) override;
    void post(std::function<void()> task) override;
    // Runs the tasks waiting now (on the dialog's thread).
    void runPosted();
    void dropPosted();
    void setBusyText(const std::string& text) override;
    const std::string& busyText() const { return busyText_; }
    int runModal(int resourceId, ui::DialogLogic& logic) override;

    // Icons, tooltip width and list view columns for resolution `dpi`
    // (coming from `oldDpi`).
    void applyDpi(int oldDpi, int dpi);

private:
    void loadIcons(int dpi);
    HWND item(int id) const { return GetDlgItem(hwnd_, id); }
    LRESULT send(int id, UINT msg, WPARAM wp, LPARAM lp) {
        return SendDlgItemMessageA(hwnd_, id, msg, wp, lp);
    }
    bool hasStrings(int id) const;
    bool fileDialog(const ui::FileDialogOptions& options, std::string* path, bool save);

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

}  // namespace varnok::win32
