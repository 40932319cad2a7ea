// The schedule half of the console put together: the tree (ProgramTreeView) and
// the list (CommandListView) of one document, kept in step (a tree selection
// tells the list what to show; a change in the list updates every view),
// the counts for the frame's status bar, the chart (Ctrl+G), the transfers
// (Ctrl+T, Ctrl+R) and the frame's number of relay outputs, refreshed every
// 2500 ms while one of the two views is active.
//
// In the console the frame makes the two views through attach(), once for
// each pane of its splitter; the first call makes the pair, the second
// finds it. The frame then drives them through their slots and this
// object's.
#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

#include "ProgramTreeView.h"
#include "CommandListView.h"
#include "ConsoleView.h"
#include "EditDialogs.h"
#include "Kt64Document.h"
#include "ScheduleTransfers.h"

namespace kt64::console {

class ScheduleViews : public QObject {
    Q_OBJECT
public:
    // window: the parent of the dialogs and message boxes; viewParent: the
    // views' parent (the frame's splitter). Without links and the workers
    // that call them there are no transfers and no relay-outputs reads.
    ScheduleViews(program::ProgramDocument& document, program::UserMessages& messages, QWidget* window,
                  ScheduleTransfers::LinkSource links = {}, QWidget* viewParent = nullptr,
                  WorkerCalls* workers = nullptr);
    ~ScheduleViews() override;

    // The pair of the frame's splitter (parent), made at the first call:
    // counts go to the document, changes of the document's program to both
    // views, and transfers use the document's link-server object. What the
    // frame shows of them it hears through this object's signals.
    static ScheduleViews& attach(Kt64Document& doc, QWidget* parent);

    ProgramTreeView* blockView() const { return tree_; }
    CommandListView* listView() const { return list_; }
    ScheduleTransfers* transfers() const { return transfers_.get(); }
    // Replaces the list's dialogs (tests).
    void setRecordDialogs(RecordDialogs& dialogs);
    // The open program's file name for the printed plan's footer; empty
    // for a program not yet saved.
    std::function<QString()> programName;
    // The folder of the program's file, where its plan is saved.
    std::function<QString()> programFolder;

public slots:
    // Every view updates with hint: the list first, then the tree, whose
    // rebuild selects again what it had and so tells the list.
    void documentUpdated(std::uint32_t hint);
    void openChart();
    // "Drukuj plan…": the week's bell plan to a printer or a PDF file.
    void openPlanPrint();
    void sendProgram();
    void receiveProgram();
    // A program command of the frame's File menu.
    void runCommand(ProgramCommand command);

signals:
    void countsChanged(int blocks, int datesPlusCommands);
    void relayOutputsChanged(int outputs);
    // What the frame's status bar says after a send.
    void messageTextChanged(const QString& text);

private:
    void connectList();

    program::ProgramDocument& document_;
    program::UserMessages& messages_;
    std::unique_ptr<program::UserMessages> ownedMessages_;
    QPointer<QWidget> window_;
    DialogRecords dialogs_;
    QPointer<ProgramTreeView> tree_;
    QPointer<CommandListView> list_;
    std::unique_ptr<ScheduleTransfers> transfers_;
};

}  // namespace kt64::console
