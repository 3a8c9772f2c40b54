#include "sim/FakeDialogView.h"

#include <algorithm>

namespace varnok::sim {

void FakeDialogView::declare(int id, Kind kind, bool enabled, const std::string& text) {
    auto& c = controls[id];
    c.kind = kind;
    c.enabled = enabled;
    c.text = text;
}

void FakeDialogView::click(int id) {
    auto& c = controls[id];
    switch (c.kind) {
        case Kind::AutoCheck:
            c.check = c.check == ui::kChecked ? ui::kUnchecked : ui::kChecked;
            break;
        case Kind::Auto3State:
            c.check = (c.check + 1) % 3;
            break;
        case Kind::Radio:
            for (const auto& group : radioGroups) {
                if (std::find(group.begin(), group.end(), id) == group.end()) continue;
                for (int other : group) controls[other].check = ui::kUnchecked;
            }
            c.check = ui::kChecked;
            break;
        default:
            break;
    }
    if (logic_ != nullptr) logic_->onCommand(*this, id, ui::Event::Clicked);
}

void FakeDialogView::type(int id, const std::string& text) {
    controls[id].text = text;
    if (logic_ != nullptr) logic_->onCommand(*this, id, ui::Event::ValueChanged);
}

void FakeDialogView::selectRow(int listId, int row) {
    listSetCurSel(listId, row);
    if (logic_ != nullptr) logic_->onCommand(*this, listId, ui::Event::SelectionChanged);
}

void FakeDialogView::selectRows(int listId, const std::vector<int>& rows) {
    auto& c = controls[listId];
    for (std::size_t i = 0; i < c.rows.size(); ++i)
        c.rows[i].selected =
            std::find(rows.begin(), rows.end(), static_cast<int>(i)) != rows.end();
    if (logic_ != nullptr) logic_->onCommand(*this, listId, ui::Event::SelectionChanged);
}

void FakeDialogView::fireTimer(int timerId) {
    if (logic_ != nullptr) logic_->onTimer(*this, timerId);
}

std::vector<std::string> FakeDialogView::rowTexts(int listId) const {
    std::vector<std::string> out;
    auto it = controls.find(listId);
    if (it == controls.end()) return out;
    for (const auto& r : it->second.rows) out.push_back(r.text);
    return out;
}

std::string FakeDialogView::text(int id) { return controls[id].text; }
void FakeDialogView::setText(int id, const std::string& text) {
    controls[id].text = text;
    controls[id].allSelected = false;
}
int FakeDialogView::checkState(int id) { return controls[id].check; }
void FakeDialogView::setCheckState(int id, int state) { controls[id].check = state; }
void FakeDialogView::enable(int id, bool enabled) { controls[id].enabled = enabled; }
bool FakeDialogView::isEnabled(int id) { return controls[id].enabled; }
void FakeDialogView::show(int id, bool visible) { controls[id].visible = visible; }
bool FakeDialogView::isVisible(int id) { return controls[id].visible; }
void FakeDialogView::setReadOnly(int id, bool readOnly) { controls[id].readOnly = readOnly; }
void FakeDialogView::selectAllText(int id) { controls[id].allSelected = true; }

std::vector<int> FakeDialogView::childIds() {
    std::vector<int> ids;
    for (const auto& kv : controls) ids.push_back(kv.first);
    return ids;
}

void FakeDialogView::listReset(int id) {
    controls[id].rows.clear();
    controls[id].curSel = -1;
}

int FakeDialogView::listAdd(int id, const std::string& text) {
    auto& c = controls[id];
    if (c.failAddAt >= 0 && static_cast<int>(c.rows.size()) >= c.failAddAt) return ui::kNoRow;
    c.rows.emplace_back().text = text;
    return static_cast<int>(c.rows.size()) - 1;
}

FakeDialogView::Row* FakeDialogView::rowAt(int id, int row) {
    auto& rows = controls[id].rows;
    return row >= 0 && row < static_cast<int>(rows.size()) ? &rows[row] : nullptr;
}

void FakeDialogView::listSetItemData(int id, int row, intptr_t data) {
    if (Row* r = rowAt(id, row)) r->data = data;
}

intptr_t FakeDialogView::listItemData(int id, int row) {
    Row* r = rowAt(id, row);
    return r != nullptr ? r->data : ui::kNoRow;
}

int FakeDialogView::listCount(int id) { return static_cast<int>(controls[id].rows.size()); }

int FakeDialogView::listCurSel(int id) { return controls[id].curSel; }

void FakeDialogView::listSetCurSel(int id, int row) {
    auto& c = controls[id];
    c.curSel = (row >= 0 && row < static_cast<int>(c.rows.size())) ? row : -1;
}

void FakeDialogView::listSetSel(int id, int row, bool selected) {
    if (row == -1) {
        for (auto& r : controls[id].rows) r.selected = selected;
    } else if (Row* r = rowAt(id, row)) {
        r->selected = selected;
    }
}

std::vector<int> FakeDialogView::listSelectedRows(int id) {
    std::vector<int> out;
    auto& c = controls[id];
    for (std::size_t i = 0; i < c.rows.size(); ++i)
        if (c.rows[i].selected) out.push_back(static_cast<int>(i));
    return out;
}

std::string FakeDialogView::listText(int id, int row) {
    Row* r = rowAt(id, row);
    return r != nullptr ? r->text : std::string();
}

bool FakeDialogView::listViewInsertColumn(int id, int column, const std::string& title,
                                          int width, bool rightAligned) {
    auto& c = controls[id];
    if (column < 0 || column > static_cast<int>(c.columns.size())) return false;
    c.columns.insert(c.columns.begin() + column, Column{title, width, rightAligned});
    return true;
}

int FakeDialogView::listViewInsertRow(int id, int row, const std::string& text) {
    auto& c = controls[id];
    if (c.failAddAt >= 0 && static_cast<int>(c.rows.size()) >= c.failAddAt) return -1;
    if (row < 0 || row > static_cast<int>(c.rows.size())) row = static_cast<int>(c.rows.size());
    Row r;
    r.text = text;
    r.cells.assign(std::max<std::size_t>(c.columns.size(), 1), std::string());
    r.cells[0] = text;
    c.rows.insert(c.rows.begin() + row, r);
    return row;
}

bool FakeDialogView::listViewSetCell(int id, int row, int column, const std::string& text) {
    Row* r = rowAt(id, row);
    if (r == nullptr || column < 0) return false;
    if (static_cast<int>(r->cells.size()) <= column) r->cells.resize(column + 1);
    r->cells[column] = text;
    if (column == 0) r->text = text;
    return true;
}

void FakeDialogView::listViewDeleteAll(int id) { controls[id].rows.clear(); }

std::vector<int> FakeDialogView::listViewSelectedRows(int id) { return listSelectedRows(id); }

std::string FakeDialogView::listViewCell(int id, int row, int column) {
    Row* r = rowAt(id, row);
    if (r == nullptr || column < 0 || column >= static_cast<int>(r->cells.size())) return {};
    return r->cells[column];
}

void FakeDialogView::upDownSetRange(int id, int low, int high) {
    controls[id].rangeLow = low;
    controls[id].rangeHigh = high;
}

ui::Answer FakeDialogView::messageBox(const std::string& text, const std::string& caption,
                                      ui::Icon icon, ui::Buttons buttons) {
    boxes.push_back({text, caption, icon, buttons});
    if (answers.empty()) return ui::Answer::Ok;
    ui::Answer a = answers.front();
    answers.pop_front();
    return a;
}

bool FakeDialogView::fileName(std::deque<std::string>& answers,
                              const ui::FileDialogOptions& options, std::string* path) {
    fileDialogs.push_back(options);
    if (answers.empty()) return false;
    *path = answers.front();
    answers.pop_front();
    return !path->empty();
}

bool FakeDialogView::saveFileName(const ui::FileDialogOptions& options, std::string* path) {
    return fileName(saveAnswers, options, path);
}

bool FakeDialogView::openFileName(const ui::FileDialogOptions& options, std::string* path) {
    return fileName(openAnswers, options, path);
}

int FakeDialogView::runModal(int resourceId, ui::DialogLogic& logic) {
    modalsRun.push_back(resourceId);
    if (std::find(failModal.begin(), failModal.end(), resourceId) != failModal.end()) return -1;
    FakeDialogView child;
    child.attach(logic);
    logic.onInit(child);
    auto it = modalScripts.find(resourceId);
    if (it != modalScripts.end()) it->second(child, logic);
    logic.onDestroy(child);
    return child.ended ? child.endResult : 1;
}

}  // namespace varnok::sim
