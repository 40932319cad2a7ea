// ServerSession: how the settings form and the service dialog reach the
// console's one link-server object, which the document Kt64Document holds with
// its connected flag and computerName. Each call runs on the document's
// worker threads and its answer, value or error, comes back in one piece
// on the GUI thread, so a dead server or network never keeps the window
// from its events. A call made while no server object is held fails at once
// like a lost connection (no description). A call that finds the connection
// dead makes the document drop the object and connect again by itself.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "Kt64Client.h"
#include "Kt64Document.h"

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
    explicit ServerSession(Kt64Document& doc, QObject* parent = nullptr);

    Kt64Document& document() { return doc_; }
    bool connected() const { return doc_.connected(); }
    const std::string& computerName() const { return doc_.computerName; }
    void setComputerName(std::string name) { doc_.computerName = std::move(name); }

    // connectServer on computerName; the document sets connected on
    // success; done(answer) runs on the GUI thread.
    void connectServer(QObject* receiver, std::function<void(ServerAnswer<Done>)> done);

    // Runs call(server) on a worker and done(answer) on the GUI thread while
    // receiver exists.
    template <class T>
    void call(QObject* receiver, std::function<T(client::ServerProxy&)> call,
              std::function<void(ServerAnswer<T>)> done) {
        doc_.serverCall(
            receiver, std::move(call),
            [done](T value) {
                ServerAnswer<T> answer;
                answer.value.emplace(std::move(value));
                done(std::move(answer));
            },
            [done](const client::ServerError& e) {
                ServerAnswer<T> answer;
                answer.error.emplace(e);
                done(std::move(answer));
            });
    }
    void call(QObject* receiver, std::function<void(client::ServerProxy&)> call,
              std::function<void(ServerAnswer<Done>)> done);

    // Releases the server object and clears Connected.
    void releaseServer() { doc_.releaseServer(); }
    // The document connects again by itself after a lost connection.
    bool reconnecting() const { return doc_.reconnecting(); }

signals:
    void connectedChanged(bool connected);

private:
    Kt64Document& doc_;
};

}  // namespace kt64::console
