// Kt64Document, the console's one document: the open relay program (the
// program core's ProgramDocument) and the console's one link-server object
// `Server` with its `Connected` flag, plus the computer it lives on and the
// schedule tree's counts.
//
// The link server may die, stop answering, or sit behind a dead network;
// the operator's window must never freeze for it. So no call on the server
// object is made on the GUI thread: every call runs on the document's
// worker threads, bounded by the client library's deadlines, and its result
// (or its ServerError) is posted back to the GUI thread:
//
//   doc.serverCall(this,
//       [](client::ServerProxy& s) { return s.GetBuildType(); },     // worker
//       [this](std::string type) { show(type); },                // GUI thread
//       [this](const client::ServerError& e) { fail(e); });      // GUI thread
//
// The work function may make several calls (a poll, a send): they run in
// order, and the first failure ends it. The two result functions run only
// while the context object still exists. Calls run side by side on up to
// kWorkerThreads threads, so a caller that repeats a call on a timer keeps
// one in flight at a time (skip a tick while the previous one is out).
// Without a server object the failure has no description, like a dead
// connection. The threads are the document's WorkerCalls, which the rest of
// the console uses for its other slow work. connectServer is asynchronous the same way. releaseServer
// drops the object off the GUI thread (ending its lease waits for the
// server).
//
// A call that fails without the server's description found the connection
// dead (a killed server, a frozen one, a dead network). The document then
// drops that object and connects again by itself, off the GUI thread, at
// once and then every few seconds, the way "Odśwież" does (a local server
// that is gone is started again on demand), until it is connected; the views
// make every call on the document's current object, so they all use the new
// one from then on.
//
// The program transfers run the program core synchronously; centreLink()
// gives them a CentreLink on the current server object that they can use on
// a worker thread of their own.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "CentreLink.h"
#include "Kt64Client.h"
#include "ProgramDocument.h"
#include "UserMessages.h"
#include "WorkerCalls.h"

namespace kt64::console {

// The status line of the device panel and the settings form while the
// document connects again after a lost connection.
inline const QString kReconnectingText = QStringLiteral("Błąd połączenia z serwerem ! Trwa ponowne łączenie...");

class Kt64Document : public QObject {
    Q_OBJECT
public:
    static constexpr int kWorkerThreads = 4;
    static constexpr std::chrono::milliseconds kReconnectPeriod{2000};

    Kt64Document(program::UserMessages& messages, std::filesystem::path templatePath = program::defaultTemplatePath(),
                 QObject* parent = nullptr);
    // Ends the calls in flight at once (they fail as cancelled) and waits
    // for them, so that the console ends promptly whatever the server does.
    ~Kt64Document() override;

    // The open relay program.
    program::ProgramDocument& program() { return program_; }
    // Opens the program file at path. On failure nothing is shown: why
    // holds all the program core would have said (the engine's or the
    // system's reason), for the caller's one message naming the file.
    bool openProgram(const std::filesystem::path& path, std::string& why);

    // True while Server holds a live object.
    bool connected() const { return connected_; }
    // The link-server object; empty while not connected. Never call it on
    // the GUI thread: use serverCall().
    std::shared_ptr<client::ServerProxy> server() const { return server_; }

    // The program file the operator opened or saved to; empty for a new one
    // (and for a program received from the centre). Changed through
    // setPathName, which tells the frame's title.
    std::filesystem::path pathName;
    void setPathName(std::filesystem::path path);
    // The computer that runs the link server ("" = this one).
    std::string computerName;
    // Counted by the schedule tree at its last rebuild.
    int blockCount = 0;
    int recordCount = 0;

    // Deadlines of the object connectServer creates.
    client::ConnectOptions& connectOptions() { return options_; }

    // Creates the link-server object on computerName on a worker thread.
    // On the GUI thread: on success Server is replaced, Connected set and
    // done gets S_OK; on failure Server and Connected stay as they were and
    // done gets the HRESULT and the error.
    void connectServer(QObject* context, std::function<void(HRESULT, const client::ServerError*)> done);
    // Clears Connected and drops Server on a worker thread.
    void releaseServer();
    // Counts the objects connectServer has made (0: none yet). Compared,
    // not addresses: a new object may reuse the address of a freed one.
    std::uint64_t serverGeneration() const { return generation_; }

    // True from a lost connection until the document is connected again.
    bool reconnecting() const { return reconnecting_; }
    // The pause between two attempts after a failed one; zero: a lost
    // connection stays lost until the next connectServer (tests that look
    // at the lost state).
    void setReconnectPeriod(std::chrono::milliseconds period) { reconnectPeriod_ = period; }

    template <class Work, class Done, class Failed>
    void serverCall(QObject* context, Work work, Done done, Failed failed);

    // A CentreLink on the current server object, safe to use on any thread
    // while the document lives. A call on it that finds the connection dead
    // starts the reconnect.
    std::unique_ptr<program::CentreLink> centreLink();

    // Runs f on a worker thread (for work that may block on the server).
    void runOnWorker(std::function<void()> f) { workers_.run(std::move(f)); }
    // The document's worker threads, for every other job that must stay off
    // the GUI thread (service requests, network browsing, transfers).
    WorkerCalls& workers() { return workers_; }

signals:
    void connectedChanged(bool connected);
    // The program's file name or its modified mark changed (always on the
    // GUI thread).
    void titleChanged();
    // The program's content changed (New, Open, a receive, an edit); hint
    // as the change gave it (always on the GUI thread).
    void programChanged(std::uint32_t hint);

private:
    // Runs f on the GUI thread if context still exists then.
    void post(const QPointer<QObject>& context, std::function<void()> f) { workers_.post(context, std::move(f)); }
    // A call on the object of that generation found the connection dead.
    // When its failure comes in late (after its deadline), the object may
    // have been replaced by a new connection meanwhile, which stays.
    void connectionLost(std::uint64_t generation);
    void reconnect();

    class LossReportingLink;

    // The program core's messages, passed on to the console's boxes except
    // while openProgram collects them.
    class ProgramMessages : public program::UserMessages {
    public:
        explicit ProgramMessages(program::UserMessages& shown) : shown_(shown) {}
        void show(std::string_view text, program::MessageIcon icon) override;
        void showCaptioned(std::string_view caption, std::string_view text, program::MessageIcon icon) override;
        bool ask(std::string_view question, program::MessageIcon icon) override { return shown_.ask(question, icon); }
        std::vector<std::string>* collected = nullptr;

    private:
        program::UserMessages& shown_;
    };

    ProgramMessages programMessages_;
    program::ProgramDocument program_;
    client::ConnectOptions options_;
    std::shared_ptr<client::ServerProxy> server_;
    bool connected_ = false;
    std::uint64_t generation_ = 0;
    bool reconnecting_ = false;
    bool reconnectInFlight_ = false;
    std::chrono::milliseconds reconnectPeriod_ = kReconnectPeriod;
    QTimer reconnectTimer_;
    WorkerCalls workers_{kWorkerThreads};
};

template <class Work, class Done, class Failed>
void Kt64Document::serverCall(QObject* context, Work work, Done done, Failed failed) {
    using Result = std::invoke_result_t<Work&, client::ServerProxy&>;
    runOnWorker([this, server = server_, generation = generation_, context = QPointer<QObject>(context),
                 work = std::move(work), done = std::move(done), failed = std::move(failed)]() mutable {
        if (!server) {
            client::ServerError e(client::E_RPC_SERVER_UNAVAILABLE, "no link-server object");
            post(context, [failed, e]() mutable { failed(e); });
            return;
        }
        // The document hears of a dead connection before the caller does,
        // so that the caller already sees it unconnected.
        auto fail = [&](const client::ServerError& e) {
            if (!e.description()) post(this, [this, generation] { connectionLost(generation); });
            post(context, [failed, e]() mutable { failed(e); });
        };
        try {
            if constexpr (std::is_void_v<Result>) {
                work(*server);
                post(context, [done]() mutable { done(); });
            } else {
                Result result = work(*server);
                post(context, [done, result = std::move(result)]() mutable { done(std::move(result)); });
            }
        } catch (const client::ServerError& e) {
            fail(e);
        } catch (const std::exception& e) {
            // Anything else from the client is a malformed exchange: treated
            // as a failure of the connection, with the cause kept for logs.
            fail(client::ServerError(client::E_RPC_SERVERFAULT, e.what()));
        }
        // The last reference may be this one: drop it here, not on the GUI thread.
        server.reset();
    });
}

}  // namespace kt64::console
