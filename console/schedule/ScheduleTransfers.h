// The document's commands "Wyślij rozkazy do centrali (CTRL+T)" and
// "Odbierz rozkazy z centrali (CTRL+R)": the core's sendProgram and
// receiveProgram with their questions and messages as message boxes, the
// progress in TransferDialog, and every link-server call on the document's
// workers (WorkerCentreLink), so that the window keeps answering whatever the
// server does. A receive replaces the program, so a program with unsaved
// changes is first offered for saving (saveModified).
//
// The frame's number of relay outputs is read the same way, without
// waiting: readRelayOutputs() starts a read and relayOutputsRead() tells
// the result (0 for an empty BuildType or a failed call).
//
// The link-server object may be replaced between two actions (a new
// connection), so each action takes a fresh CentreLink from its source.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "TransferDialog.h"
#include "ProgramTransfer.h"
#include "WorkerCentreLink.h"

namespace kt64::console {

class ScheduleTransfers : public QObject {
    Q_OBJECT
public:
    using LinkSource = std::function<std::unique_ptr<program::CentreLink>()>;
    ScheduleTransfers(program::ProgramDocument& document, LinkSource links, WorkerCalls& workers,
                      program::UserMessages& messages, QWidget* window);
    // A link that stays the same for every action (tests, tools).
    ScheduleTransfers(program::ProgramDocument& document, program::CentreLink& link, WorkerCalls& workers,
                      program::UserMessages& messages, QWidget* window);
    ~ScheduleTransfers() override;

    // Asked before a receive when the program has unsaved changes; false
    // stops the receive (the operator cancelled, or saving failed). Without
    // it, the operator is asked whether to give the changes up.
    std::function<bool()> saveModified;

    // The clock of the transfers' silence limit (tests move it by hand).
    program::TransferProgress::Clock clock = std::chrono::steady_clock::now;

    // A transfer or a relay-outputs read is under way.
    bool busy() const { return running_; }

public slots:
    void send();
    void receive();
    void readRelayOutputs();

signals:
    void relayOutputsRead(int outputs);
    // After a receive replaced the program.
    void programReceived();
    // After the whole program reached the centre.
    void programSent();

private:
    // Runs one transfer with a fresh link, its calls on a worker.
    template <class F>
    void withLink(F f);

    program::ProgramDocument& document_;
    LinkSource links_;
    WorkerCalls& workers_;
    program::UserMessages& messages_;
    QPointer<QWidget> window_;
    bool running_ = false;
    // The relay-outputs read under way: its end, which the destructor waits
    // for (the read may use a link the owner lends).
    struct ReadEnd;
    std::shared_ptr<ReadEnd> reading_;
};

// The status bar after a send that ended well ("%1" = the time, "14:05").
inline const QString kProgramSentText = QStringLiteral("Program został wysłany do centrali o %1.");

inline constexpr std::string_view kDiscardChanges =
    "Program zawiera niezapisane zmiany, które zostaną utracone. Czy na pewno odebrać rozkazy z centrali?";

}  // namespace kt64::console
