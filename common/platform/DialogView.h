// Dialog view seam: what a dialog's behaviour needs from its window, by
// control id. The Win32 host implements it over an HWND (common/win32); the
// in-memory FakeDialogView (sim/) keeps control states, logs message boxes
// and answers them from a script. Portable dialog classes (DialogLogic) are
// written against this interface only and never include <windows.h>.
#pragma once
// The configurator's model and the programs built on it alone are compiled
// with VARNOK_NO_DIALOG_SEAM: they may not include this header, even through
// another one.
#ifdef VARNOK_NO_DIALOG_SEAM
#error "the dialog seam is for dialog classes only"
#endif
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace varnok::ui {

// Message boxes: the buttons offered, the icon shown, the button pressed.
enum class Buttons { Ok, OkCancel, YesNo };
enum class Icon { None, Error, Question, Warning, Information };
enum class Answer { Ok, Cancel, Yes, No };

// Buttons every dialog template has under these ids (Enter and Esc).
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// Check states.
constexpr int kUnchecked = 0;
constexpr int kChecked = 1;
constexpr int kIndeterminate = 2;

// What a control tells its dialog.
enum class Event {
    Clicked,           // a button, a check box, a menu item
    SelectionChanged,  // a list box's selection
    ValueChanged,      // an edit field's text
    Other              // anything else a control reports
};

constexpr int kNoRow = -1;  // a list row that could not be added or read

// A colour of text drawn by the host.
struct Colour {
    uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Colour& o) const {
        return red == o.red && green == o.green && blue == o.blue;
    }
};

enum class Cursor { Arrow, AppStarting, Wait };

struct FileDialogOptions {
    std::string initialName;     // file name buffer's initial content
    std::string filterName;      // "DAT files"
    std::string filterPattern;   // "*.dat"
    std::string defaultExt;      // "dat"
    // Save: ask before replacing an existing file. Open: only an existing
    // file may be chosen. Both: the folder must exist; no read-only box.
    bool confirmOverwrite = false;
    bool fileMustExist = false;
};

class DialogView;

// Behaviour of one dialog. The host forwards window messages to it.
class DialogLogic {
public:
    virtual ~DialogLogic() = default;
    virtual void onInit(DialogView& /*view*/) {}
    virtual void onCommand(DialogView& /*view*/, int /*id*/, Event /*event*/) {}
    virtual void onTimer(DialogView& /*view*/, int /*timerId*/) {}
    // An up-down control is about to move from `pos` by `delta`; return true to
    // forbid the step.
    virtual bool onUpDownDelta(DialogView& /*view*/, int /*id*/, int /*pos*/, int /*delta*/) {
        return false;
    }
    // Left mouse button pressed on the dialog's surface.
    virtual void onLeftClick(DialogView& /*view*/) {}
    virtual void onDestroy(DialogView& /*view*/) {}
    // Owner-drawn list rows: text and colour of a row whose item data is
    // `itemData`. Returns false when the row shows nothing.
    virtual bool rowAppearance(int /*listId*/, intptr_t /*itemData*/, std::string* /*text*/,
                               Colour* /*colour*/) {
        return false;
    }
};

class DialogView {
public:
    virtual ~DialogView() = default;

    // Generic controls.
    virtual std::string text(int id) = 0;
    virtual void setText(int id, const std::string& text) = 0;
    virtual int checkState(int id) = 0;
    virtual void setCheckState(int id, int state) = 0;
    virtual void enable(int id, bool enabled) = 0;
    virtual bool isEnabled(int id) = 0;
    virtual void show(int id, bool visible) = 0;
    virtual void setReadOnly(int id, bool readOnly) = 0;
    virtual void selectAllText(int id) = 0;
    // Ids of all child controls in template order.
    virtual std::vector<int> childIds() = 0;

    // List boxes (single or multiple selection). Rows carry item data.
    virtual void listReset(int id) = 0;
    virtual int listAdd(int id, const std::string& text) = 0;  // row or kNoRow
    virtual void listSetItemData(int id, int row, intptr_t data) = 0;
    virtual intptr_t listItemData(int id, int row) = 0;
    virtual int listCount(int id) = 0;
    virtual int listCurSel(int id) = 0;               // -1 when none
    virtual void listSetCurSel(int id, int row) = 0;  // -1 clears; sends no notification
    virtual void listSetSel(int id, int row, bool selected) = 0;  // multi-selection lists
    virtual std::vector<int> listSelectedRows(int id) = 0;        // multi-selection lists

    // List view (report view).
    virtual bool listViewInsertColumn(int id, int column, const std::string& title, int width,
                                      bool rightAligned) = 0;
    virtual int listViewInsertRow(int id, int row, const std::string& text) = 0;  // -1 on failure
    virtual bool listViewSetCell(int id, int row, int column, const std::string& text) = 0;
    virtual void listViewDeleteAll(int id) = 0;
    virtual std::vector<int> listViewSelectedRows(int id) = 0;

    // Up-down control.
    virtual void upDownSetRange(int id, int low, int high) = 0;

    // Message box owned by this dialog (the main dialog's view places it).
    virtual Answer messageBox(const std::string& text, const std::string& caption, Icon icon,
                              Buttons buttons = Buttons::Ok) = 0;
    // Common save/open dialogs; false when cancelled or failed.
    virtual bool saveFileName(const FileDialogOptions& options, std::string* path) = 0;
    virtual bool openFileName(const FileDialogOptions& options, std::string* path) = 0;

    virtual void setCursor(Cursor cursor) = 0;
    virtual void setTimer(int timerId, unsigned ms) = 0;
    virtual void killTimer(int timerId) = 0;
    virtual void shellOpen(const std::string& document) = 0;
    virtual void setIcon(int resourceId) = 0;
    // One tooltip window for control `id` (main dialog's helper, max width 300).
    virtual void addToolTip(int id, const std::string& text) = 0;
    // Repaints the whole dialog at once (busy panels before a long operation).
    virtual void repaintNow() = 0;
    virtual void endDialog(int result) = 0;
    // Hands `task` to the dialog's thread, which runs it soon; any thread may
    // call this. Tasks still waiting when the dialog goes are dropped.
    virtual void post(std::function<void()> task) = 0;
    // A line of text drawn over the busy panels (empty: none).
    virtual void setBusyText(const std::string& text) = 0;

    // Runs dialog resource `resourceId` modally, owned by this dialog, with
    // `logic` as its behaviour. Returns the dialog's result, or -1 when the
    // dialog could not be created.
    virtual int runModal(int resourceId, DialogLogic& logic) = 0;
};

}  // namespace varnok::ui
