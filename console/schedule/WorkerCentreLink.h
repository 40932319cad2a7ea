// The link server's members that the transfers use, called on the
// document's workers (WorkerCalls) so that the GUI thread is never kept from its events by a slow,
// stopped or dead server: each call runs on the worker while the caller's
// thread goes on processing events in a local loop, and its result or its
// LinkError comes back to the caller. To the transfers it is a CentreLink
// like any other, so their steps, questions and messages stay in order.
//
// While a call is under way the GUI keeps running: callers that must not
// start a second action meanwhile check busy().
#pragma once

#include <QObject>
#include <exception>
#include <functional>

#include "CentreLink.h"
#include "WorkerCalls.h"

namespace kt64::console {

class WorkerCentreLink : public program::CentreLink {
public:
    // inner is used on a worker thread only (Connected() excepted, which
    // reads a flag); it must outlive this object. Each call has ended when
    // its member returns, so nothing runs on inner after that.
    WorkerCentreLink(program::CentreLink& inner, WorkerCalls& workers);

    bool Connected() const override { return inner_.Connected(); }
    std::string BuildType() override;
    void PutRozkazy(std::span<const std::uint8_t> image) override;
    std::uint32_t RozkazPos() override;
    void StartGetRozkazy() override;
    std::uint32_t RozkazRxPos() override;
    program::ReceivedList GetRozkazy() override;
    std::optional<program::LinkError> centreFault() override;

    bool busy() const { return calls_ > 0; }

private:
    // Runs job on the worker and processes the caller's events until it
    // has ended; rethrows what it threw.
    void run(const std::function<void()>& job);

    program::CentreLink& inner_;
    WorkerCalls& workers_;
    int calls_ = 0;
};

}  // namespace kt64::console
