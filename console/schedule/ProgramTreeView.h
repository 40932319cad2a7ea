// ProgramTreeView: the schedule tree. Every document update rebuilds it from the
// program, reports the counts of blocks and of dates plus commands to the
// frame (countsChanged), and selects again the block or block folder it had
// selected, which, like any selection, tells the list what to show
// (itemSelected). While it is the active view it asks the frame every
// 2500 ms to refresh its number of relay outputs.
#pragma once

#include <QTimer>
#include <QTreeView>
#include <cstdint>

#include "ConsoleView.h"
#include "ProgramDocument.h"
#include "ScheduleModels.h"
#include "UserMessages.h"

namespace kt64::console {

class ProgramTreeView : public QTreeView, public ConsoleView {
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

public slots:
    // A document update (the hint is not used): rebuild.
    void onUpdate(std::uint32_t hint = 0);

signals:
    void itemSelected(std::uint32_t code);
    void countsChanged(int blocks, int datesPlusCommands);
    // Ctrl+G, Ctrl+T or Ctrl+R (the command identifiers of ConsoleView.h).
    void commandRequested(ProgramCommand command);
    void relayOutputsWanted();

public:
    // The frame's side: document updates, activation (the relay-outputs
    // refresh runs while active), and the commands meant for a schedule
    // view (send, receive, chart), passed on as commandRequested.
    // The first filling, as an update without a hint.
    void OnInitialUpdate() override { onUpdate(0); }
    void OnUpdate(std::uint32_t hint) override { onUpdate(hint); }
    void OnActivateView(bool active) override;
    bool OnProgramCommand(ProgramCommand command) override;

private:
    void currentChangedTo(const QModelIndex& current);

    program::ProgramDocument& document_;
    program::UserMessages& messages_;
    ScheduleTreeModel model_;
    QTimer relayTimer_;  // timer 550
    bool rebuilding_ = false;
};

}  // namespace kt64::console
