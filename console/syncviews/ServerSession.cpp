// Connecting and releasing on the worker; the flag changes on the GUI thread.
#include "ServerSession.h"

namespace kt64::console {

ServerSession::ServerSession(QObject* parent, Connector connector)
    : QObject(parent), connector_(std::move(connector)) {
    if (!connector_)
        connector_ = [](const std::string& computer) { return client::ConnectServer(computer); };
}

ServerSession::~ServerSession() = default;

void ServerSession::setConnected(bool connected) {
    if (connected_ == connected) return;
    connected_ = connected;
    emit connectedChanged(connected);
}

void ServerSession::connectServer(QObject* receiver, std::function<void(ServerAnswer<Done>)> done) {
    struct Outcome {
        std::shared_ptr<client::Kt64Srv> server;
        ServerAnswer<Done> answer;
    };
    calls_.run(
        this,
        [connector = connector_, computer = computerName_]() {
            Outcome out;
            try {
                out.server = connector(computer);
                out.answer.value.emplace();
            } catch (const client::ServerError& e) {
                out.answer.error.emplace(e);
            } catch (const std::exception& e) {
                out.answer.error.emplace(client::E_INVALIDARG, e.what());
            }
            return out;
        },
        [this, receiver = QPointer<QObject>(receiver), done = std::move(done)](Outcome out) {
            if (out.server) server_ = std::move(out.server);
            setConnected(out.answer.ok());
            if (receiver) done(std::move(out.answer));
        });
}

void ServerSession::call(QObject* receiver, std::function<void(client::Kt64Srv&)> work,
                         std::function<void(ServerAnswer<Done>)> done) {
    call<Done>(
        receiver,
        [work = std::move(work)](client::Kt64Srv& srv) {
            work(srv);
            return Done{};
        },
        std::move(done));
}

void ServerSession::releaseServer() {
    if (auto server = std::move(server_)) calls_.post([server = std::move(server)]() mutable { server.reset(); });
    setConnected(false);
}

}  // namespace kt64::console
