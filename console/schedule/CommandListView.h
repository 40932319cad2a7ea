// CommandListView: the schedule list, the records of the tree item selected. All
// adding, editing, deleting, copying and pasting of records starts here,
// from the context menu, Enter, Delete, Insert or a double click; the
// changes themselves are RecordEditing's. After a change every view is
// told to update with the list's code, so the tree rebuilds and selects
// again what it had.
#pragma once

#include <QMenu>
#include <QTableView>
#include <QTimer>
#include <cstdint>
#include <optional>

#include "ItemCode.h"
#include "ProgramDocument.h"
#include "RecordEditing.h"
#include "ScheduleModels.h"

namespace kt64::console {

class CommandListView : public QTableView {
    Q_OBJECT
public:
    CommandListView(program::ProgramDocument& document, program::UserMessages& messages, RecordDialogs& dialogs,
                    QWidget* parent = nullptr);

    ScheduleListModel& listModel() { return model_; }
    RecordEditing& editing() { return editing_; }
    std::uint32_t currentCode() const { return currentCode_; }
    // The LP of the selected row, if a row is selected.
    std::optional<std::int64_t> selectedId() const;
    bool selectId(std::int64_t id);

    // The context menu as it would be shown now (its enabling applied).
    QMenu& contextMenu();
    void updateMenu();

    static constexpr int kRelayRefreshMs = 2500;

public slots:
    // Update with a hint: keep the content and move the selection when the
    // kind stays one of the unfiltered lists, else refill.
    void onUpdate(std::uint32_t hint);
    // The relay-outputs refresh runs while the view is active.
    void setActive(bool active);
    // The tree's counts, the limits for adding.
    void setCounts(int blocks, int datesPlusCommands);

    void addRecord();     // 32922
    void editAsRecord();  // 32923
    void editRecord();    // 32924
    void deleteRecord();  // 32925
    void copyRecord();    // 32948
    void pasteRecord();   // 32950

signals:
    void relayOutputsWanted();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void afterChange(const RecordEditing::Outcome& outcome);
    void applyColumnWidths();

    program::ProgramDocument& document_;
    program::UserMessages& messages_;
    ScheduleListModel model_;
    RecordEditing editing_;
    std::uint32_t currentCode_ = kNoItemCode;
    std::uint32_t previousCode_ = kNoItemCode;
    QMenu menu_;         // menu 169
    QTimer relayTimer_;  // timer 77
};

}  // namespace kt64::console
