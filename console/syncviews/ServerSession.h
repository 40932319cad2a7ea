// ServerSession: the console's one link-server object as the settings form,
// the log view and the service functions use it: the server object, the
// Connected flag and ComputerName, and the calls made on it.
//
// Every call runs on a worker thread (BackgroundCalls) and its answer comes
// back on the GUI thread, so a dead server or network never keeps the
// window from its events. A call made while no server object is held fails
// at once like a lost connection (no description).
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "BackgroundCalls.h"
#include "Kt64Client.h"

namespace kt64::console {

// The answer of one call: the value, or the error the client library threw.
template <class T>
struct ServerAnswer {
    std::optional<T> value;
    std::optional<client::ServerError> error;
    bool ok() const { return !error.has_value(); }
    // The description, or "Nie można pobrać błędu z serwera DCOM !".
    std::string errorText() const { return error ? error->displayText() : std::string(); }
};
using Done = std::monostate;

class ServerSession : public QObject {
    Q_OBJECT
public:
    using Connector = std::function<std::unique_ptr<client::Kt64Srv>(const std::string& computer)>;

    // connector: how the server object is made (ConnectServer by default).
    explicit ServerSession(QObject* parent = nullptr, Connector connector = {});
    ~ServerSession() override;

    bool connected() const { return connected_; }
    void setConnected(bool connected);
    const std::string& computerName() const { return computerName_; }
    void setComputerName(std::string name) { computerName_ = std::move(name); }

    // ConnectServer on ComputerName, on the worker; then Connected is set
    // from the outcome and done(answer) runs.
    void connectServer(QObject* receiver, std::function<void(ServerAnswer<Done>)> done);

    // Runs call(server) on the worker and done(answer) on the GUI thread.
    template <class T>
    void call(QObject* receiver, std::function<T(client::Kt64Srv&)> call, std::function<void(ServerAnswer<T>)> done) {
        auto server = server_;
        calls_.run(
            receiver,
            [server, call = std::move(call)]() -> ServerAnswer<T> {
                ServerAnswer<T> answer;
                if (!server) {
                    answer.error.emplace(client::E_RPC_SERVER_UNAVAILABLE, "no link-server object");
                    return answer;
                }
                try {
                    answer.value.emplace(call(*server));
                } catch (const client::ServerError& e) {
                    answer.error.emplace(e);
                }
                return answer;
            },
            std::move(done));
    }
    void call(QObject* receiver, std::function<void(client::Kt64Srv&)> call,
              std::function<void(ServerAnswer<Done>)> done);

    // Releases the server object (its lease ends on the worker, as it may
    // take a moment) and clears Connected.
    void releaseServer();

    // Calls given and not answered yet.
    int callsInFlight() const { return calls_.pending(); }

signals:
    void connectedChanged(bool connected);

private:
    Connector connector_;
    BackgroundCalls calls_;
    std::shared_ptr<client::Kt64Srv> server_;
    bool connected_ = false;
    std::string computerName_;
};

}  // namespace kt64::console
