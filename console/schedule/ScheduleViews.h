// The schedule half of the console put together: the tree (CBlockView) and
// the list (CRozkView) of one document, kept in step (a tree selection
// tells the list what to show; a change in the list updates every view),
// the counts for the frame's status bar, the chart (Ctrl+G), the transfers
// (Ctrl+T, Ctrl+R) and the frame's number of relay outputs, refreshed every
// 2500 ms while one of the two views is active.
//
// The frame puts blockView() and listView() into its splitter and calls
// documentUpdated() whenever the document tells its views to update.
#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

#include "CBlockView.h"
#include "CRozkView.h"
#include "EditDialogs.h"
#include "ScheduleTransfers.h"

namespace kt64::console {

class ScheduleViews : public QObject {
    Q_OBJECT
public:
    // window: the parent of the dialogs and message boxes. link may be
    // nullptr (no transfers, relay outputs 0).
    ScheduleViews(program::ProgramDocument& document, program::UserMessages& messages, QWidget* window,
                  program::CentreLink* link = nullptr);
    ~ScheduleViews() override;

    CBlockView* blockView() const { return tree_; }
    CRozkView* listView() const { return list_; }
    ScheduleTransfers* transfers() const { return transfers_.get(); }
    // Replaces the list's dialogs (tests).
    void setRecordDialogs(RecordDialogs& dialogs);

public slots:
    // Every view updates with hint: the list first, then the tree, whose
    // rebuild selects again what it had and so tells the list.
    void documentUpdated(std::uint32_t hint);
    void openChart();
    void sendProgram();
    void receiveProgram();

signals:
    void countsChanged(int blocks, int datesPlusCommands);
    void relayOutputsChanged(int outputs);

private:
    program::ProgramDocument& document_;
    program::UserMessages& messages_;
    QPointer<QWidget> window_;
    DialogRecords dialogs_;
    QPointer<CBlockView> tree_;
    QPointer<CRozkView> list_;
    std::unique_ptr<ScheduleTransfers> transfers_;
};

}  // namespace kt64::console
