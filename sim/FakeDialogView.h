// In-memory dialog view for unit tests: a map of control states, a log of
// message boxes (answered from a queue of scripted answers), scripted modal
// sub-dialogs, and helpers that act like a user (click, type, select).
#pragma once
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/platform/DialogView.h"

namespace varnok::sim {

class FakeDialogView : public ui::DialogView {
public:
    enum class Kind { Button, AutoCheck, Auto3State, Radio, Other };

    struct Row {
        std::string text;
        intptr_t data = 0;
        bool selected = false;
        std::vector<std::string> cells;  // list view: column texts
    };
    struct Column {
        std::string title;
        int width = 0;
        bool rightAligned = false;
    };
    struct Control {
        Kind kind = Kind::Other;
        std::string text;
        int check = ui::kUnchecked;
        bool enabled = true;
        bool visible = true;
        bool readOnly = false;
        bool allSelected = false;  // selectAllText
        std::vector<Row> rows;     // list box or list view rows
        int curSel = -1;           // single-selection list box
        std::vector<Column> columns;
        int rangeLow = 0, rangeHigh = 0;
        int failAddAt = -1;        // listAdd fails once the list holds this many rows
    };
    struct MessageBoxCall {
        std::string text;
        std::string caption;
        ui::Icon icon = ui::Icon::None;
        ui::Buttons buttons = ui::Buttons::Ok;
    };

    // --- state ---
    std::map<int, Control> controls;
    std::vector<MessageBoxCall> boxes;
    std::deque<ui::Answer> answers;  // answers for coming message boxes; Ok when empty
    std::vector<std::string> shellOpened;
    std::vector<ui::Cursor> cursors;
    std::map<int, unsigned> timers;
    std::vector<int> icons;
    std::map<int, std::string> toolTips;
    int repaints = 0;
    bool ended = false;
    int endResult = 0;
    std::deque<std::string> saveAnswers, openAnswers;  // file dialogs: "" = cancel
    std::vector<ui::FileDialogOptions> fileDialogs;
    std::vector<std::vector<int>> radioGroups;
    // Behaviour of modal sub-dialogs by resource id: the script drives the
    // sub-dialog's view after its onInit. Resources listed in failModal
    // cannot be created (runModal gives -1).
    std::map<int, std::function<void(FakeDialogView&, ui::DialogLogic&)>> modalScripts;
    std::vector<int> failModal;
    std::vector<int> modalsRun;

    // --- user actions (need attach) ---
    void attach(ui::DialogLogic& logic) { logic_ = &logic; }
    void init() { logic_->onInit(*this); }
    void declare(int id, Kind kind, bool enabled = true, const std::string& text = {});
    void click(int id);  // toggles check boxes and radios like the real controls
    void type(int id, const std::string& text);  // sets text and sends EN_CHANGE
    void selectRow(int listId, int row);          // single-selection: sets and notifies
    void selectRows(int listId, const std::vector<int>& rows);  // multi: sets and notifies
    void fireTimer(int timerId);

    // --- convenience ---
    const MessageBoxCall* lastBox() const { return boxes.empty() ? nullptr : &boxes.back(); }
    std::vector<std::string> rowTexts(int listId) const;
    bool isVisible(int id);
    std::string listText(int id, int row);
    std::string listViewCell(int id, int row, int column);
    Control& control(int id) { return controls[id]; }

    // --- ui::DialogView ---
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
    void listReset(int id) override;
    int listAdd(int id, const std::string& text) override;
    void listSetItemData(int id, int row, intptr_t data) override;
    intptr_t listItemData(int id, int row) override;
    int listCount(int id) override;
    int listCurSel(int id) override;
    void listSetCurSel(int id, int row) override;
    void listSetSel(int id, int row, bool selected) override;
    std::vector<int> listSelectedRows(int id) override;
    bool listViewInsertColumn(int id, int column, const std::string& title, int width,
                              bool rightAligned) override;
    int listViewInsertRow(int id, int row, const std::string& text) override;
    bool listViewSetCell(int id, int row, int column, const std::string& text) override;
    void listViewDeleteAll(int id) override;
    std::vector<int> listViewSelectedRows(int id) override;
    void upDownSetRange(int id, int low, int high) override;
    ui::Answer messageBox(const std::string& text, const std::string& caption, ui::Icon icon,
                          ui::Buttons buttons) override;
    bool saveFileName(const ui::FileDialogOptions& options, std::string* path) override;
    bool openFileName(const ui::FileDialogOptions& options, std::string* path) override;
    void setCursor(ui::Cursor cursor) override { cursors.push_back(cursor); }
    void setTimer(int timerId, unsigned ms) override { timers[timerId] = ms; }
    void killTimer(int timerId) override { timers.erase(timerId); }
    void shellOpen(const std::string& document) override { shellOpened.push_back(document); }
    void setIcon(int resourceId) override { icons.push_back(resourceId); }
    void addToolTip(int id, const std::string& text) override { toolTips[id] = text; }
    void repaintNow() override { ++repaints; }
    void endDialog(int result) override {
        ended = true;
        endResult = result;
    }
    int runModal(int resourceId, ui::DialogLogic& logic) override;
    // Posted tasks run at once unless held; held ones wait for pump(). The
    // fake lives on one thread: the tests' work runs on theirs.
    void post(std::function<void()> task) override {
        if (!holdPosted) {
            task();
            return;
        }
        posted_.push_back(std::move(task));
    }
    bool holdPosted = false;
    void setBusyText(const std::string& text) override {
        busyText = text;
        busyTexts.push_back(text);
    }
    // Runs the posted tasks (and those they post) on the calling thread, as
    // the dialog's thread would; returns how many ran.
    int pump() {
        int ran = 0;
        for (; !posted_.empty(); ++ran) {
            std::function<void()> task = std::move(posted_.front());
            posted_.pop_front();
            task();
        }
        return ran;
    }
    std::string busyText;
    std::vector<std::string> busyTexts;  // every line set, in order


private:
    Row* rowAt(int id, int row);  // null when the list has no such row
    bool fileName(std::deque<std::string>& answers, const ui::FileDialogOptions& options,
                  std::string* path);
    ui::DialogLogic* logic_ = nullptr;
    std::deque<std::function<void()>> posted_;
};

}  // namespace varnok::sim
