// The document's asynchronous calls with their answers in one piece.
#include "ServerSession.h"

namespace kt64::console {

ServerSession::ServerSession(Kt64Document& doc, QObject* parent) : QObject(parent), doc_(doc) {
    connect(&doc_, &Kt64Document::connectedChanged, this, &ServerSession::connectedChanged);
}

void ServerSession::connectServer(QObject* receiver, std::function<void(ServerAnswer<Done>)> done) {
    doc_.connectServer(receiver, [done = std::move(done)](HRESULT, const client::ServerError* error) {
        ServerAnswer<Done> answer;
        if (error)
            answer.error.emplace(*error);
        else
            answer.value.emplace();
        done(std::move(answer));
    });
}

void ServerSession::call(QObject* receiver, std::function<void(client::ServerProxy&)> work,
                         std::function<void(ServerAnswer<Done>)> done) {
    call<Done>(
        receiver,
        [work = std::move(work)](client::ServerProxy& srv) {
            work(srv);
            return Done{};
        },
        std::move(done));
}

}  // namespace kt64::console
