// ProgramTreeView: the schedule tree. Every document update rebuilds it from the
// program, reports the counts of blocks and of dates plus commands to the
// frame (countsChanged), and selects again the block or block folder it had
// selected, which, like any selection, tells the list what to show
// (itemSelected). While it is the active view it asks the frame every
// 2500 ms to refresh its number of relay outputs. Its context menu adds
// public holidays or a calendar file's days off to a block (on a block or
// its "Daty" folder) or to the holiday block (on the top "Daty" folder).
#pragma once

#include <QAction>
#include <QDialog>
#include <QMenu>
#include <QTimer>
#include <QTreeView>
#include <cstdint>
#include <functional>

#include "DaysOffDialog.h"
#include "ProgramDocument.h"
#include "ScheduleModels.h"
#include "UserMessages.h"

namespace kt64::console {

class ProgramTreeView : public QTreeView {
    Q_OBJECT
public:
    ProgramTreeView(program::ProgramDocument& document, program::UserMessages& messages, QWidget* parent = nullptr);
    ~ProgramTreeView() override;

    ScheduleTreeModel& treeModel() { return model_; }
    // The ItemCode of the selected item, if any.
    std::optional<std::uint32_t> selectedCode() const;
    // Selects the item of a code, as a click would (kinds 1, 3 and 5).
    bool selectCode(std::uint32_t code);

    static constexpr int kRelayRefreshMs = 2500;

    // "Dodaj święta…" and "Importuj kalendarz…", enabled for the selected
    // item by updateDaysOffActions (at each selection and context menu).
    QAction& addHolidaysAction() { return addHolidays_; }
    QAction& importCalendarAction() { return importCalendar_; }
    QMenu& contextMenu() { return menu_; }
    void updateDaysOffActions();
    // How the days-off dialog is run; exec() unless a test drives it.
    void setDialogRunner(std::function<void(QDialog&)> runner) { runDialog_ = std::move(runner); }

public slots:
    // A document update (the hint is not used): rebuild.
    void onUpdate(std::uint32_t hint = 0);
    // The relay-outputs refresh runs while the view is active.
    void setActive(bool active);

signals:
    void itemSelected(std::uint32_t code);
    void countsChanged(int blocks, int datesPlusCommands);
    void relayOutputsWanted();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void currentChangedTo(const QModelIndex& current);
    // The codes of the expanded items, and expanding them again after a
    // rebuild: adding a record must not fold the tree the caretaker opened.
    std::vector<std::uint32_t> expandedCodes() const;
    void expandCodes(const std::vector<std::uint32_t>& codes);
    // The block the selected item adds days off to: 0 for the holiday
    // block, nothing where days off do not go (block 1, commands).
    std::optional<std::int64_t> daysOffBlock() const;
    void openDaysOff(DaysOffSource source);

    program::ProgramDocument& document_;
    program::UserMessages& messages_;
    ScheduleTreeModel model_;
    QTimer relayTimer_;  // timer 550
    bool rebuilding_ = false;
    QMenu menu_;
    QAction addHolidays_;
    QAction importCalendar_;
    std::function<void(QDialog&)> runDialog_ = [](QDialog& dialog) { dialog.exec(); };
};

}  // namespace kt64::console
