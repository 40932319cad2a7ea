// Kt64Document: the program document, the link-server object and the worker
// threads that make every call on it.
#include "Kt64Document.h"

#include <QMetaObject>
#include <QThread>

#include <optional>

#include "ClientCentreLink.h"
#include "ProgramTexts.h"

namespace kt64::console {

Kt64Document::Kt64Document(program::UserMessages& messages, std::filesystem::path templatePath, QObject* parent)
    : QObject(parent), programMessages_(messages), program_(programMessages_, std::move(templatePath)) {
    options_.cancellation = std::make_shared<client::CallCancellation>();
    reconnectTimer_.setSingleShot(true);
    connect(&reconnectTimer_, &QTimer::timeout, this, &Kt64Document::reconnect);
    // A transfer's worker may mark the program: the title hears of it on
    // the GUI thread.
    program_.setModifiedObserver([this] {
        if (QThread::currentThread() == thread())
            emit titleChanged();
        else
            QMetaObject::invokeMethod(this, &Kt64Document::titleChanged, Qt::QueuedConnection);
    });
    // So may a receive replace the program.
    program_.setChangeObserver([this](std::uint32_t hint) {
        if (QThread::currentThread() == thread())
            emit programChanged(hint);
        else
            QMetaObject::invokeMethod(
                this, [this, hint] { emit programChanged(hint); }, Qt::QueuedConnection);
    });
}

void Kt64Document::ProgramMessages::show(std::string_view text, program::MessageIcon icon) {
    if (collected)
        collected->emplace_back(text);
    else
        shown_.show(text, icon);
}

void Kt64Document::ProgramMessages::showCaptioned(std::string_view caption, std::string_view text,
                                                  program::MessageIcon icon) {
    if (collected)
        collected->emplace_back(text);
    else
        shown_.showCaptioned(caption, text, icon);
}

bool Kt64Document::openProgram(const std::filesystem::path& path, std::string& why) {
    std::vector<std::string> said;
    programMessages_.collected = &said;
    bool opened = false;
    try {
        opened = program_.openDocument(path);
    } catch (const program::DatabaseError& e) {
        said.emplace_back(std::string(program::text::kDatabaseError) + e.what());
    }
    programMessages_.collected = nullptr;
    if (opened) return true;
    why.clear();
    for (const auto& text : said) why += (why.empty() ? "" : "\n") + text;
    if (why.empty()) why = program_.failureText();
    return false;
}

void Kt64Document::setPathName(std::filesystem::path path) {
    pathName = std::move(path);
    emit titleChanged();
}

Kt64Document::~Kt64Document() {
    reconnectTimer_.stop();
    // A call on a frozen server, or a connection attempt, would otherwise
    // keep the ending console for its whole deadline.
    if (options_.cancellation) options_.cancellation->cancel();
    releaseServer();
    workers_.waitForDone();
}

void Kt64Document::connectServer(QObject* context, std::function<void(HRESULT, const client::ServerError*)> done) {
    auto computer = computerName;
    auto options = options_;
    // The object travels back in a shared_ptr so that a result nobody takes
    // (the document closing) is still released off the GUI thread.
    runOnWorker([this, computer, options, guard = QPointer<QObject>(context), done = std::move(done)]() mutable {
        std::shared_ptr<client::ServerProxy> created;
        std::optional<client::ServerError> error;
        try {
            created = client::ConnectServer(computer, options);
        } catch (const client::ServerError& e) {
            error = e;
        }
        // Through the workers' own hand-back, which runs and destroys the
        // call on the GUI thread alone.
        post(this, [this, guard, done, created, error]() mutable {
            if (created) {
                auto old = std::move(server_);
                server_ = std::move(created);
                ++generation_;
                if (old) runOnWorker([old = std::move(old)]() mutable { old.reset(); });
                reconnecting_ = false;
                reconnectTimer_.stop();
                const bool changed = !connected_;
                connected_ = true;
                if (changed) emit connectedChanged(true);
            }
            if (guard && done) done(error ? error->code() : S_OK, error ? &*error : nullptr);
        });
    });
}

void Kt64Document::releaseServer() {
    auto old = std::move(server_);
    server_.reset();
    if (old) runOnWorker([old = std::move(old)]() mutable { old.reset(); });
    if (connected_) {
        connected_ = false;
        emit connectedChanged(false);
    }
}

void Kt64Document::connectionLost(std::uint64_t generation) {
    if (generation != generation_ || !server_) return;
    releaseServer();
    if (reconnectPeriod_.count() <= 0) return;
    reconnecting_ = true;
    reconnect();
}

void Kt64Document::reconnect() {
    if (connected_ || !reconnecting_) {
        reconnecting_ = false;
        return;
    }
    // One attempt at a time: one that waits for a frozen server takes its
    // whole connect deadline.
    if (reconnectInFlight_) return;
    reconnectInFlight_ = true;
    connectServer(this, [this](HRESULT, const client::ServerError*) {
        reconnectInFlight_ = false;
        if (!connected_ && reconnecting_) reconnectTimer_.start(reconnectPeriod_);
    });
}

// The document's link as the transfers and the relay-output read use it. A
// call that finds the connection dead (a failure without the server's
// description) starts the reconnect, as a failed serverCall does: a caretaker
// who only works on the bell program would otherwise never see the console
// come back after the server was restarted.
class Kt64Document::LossReportingLink final : public program::CentreLink {
public:
    LossReportingLink(Kt64Document& doc, std::shared_ptr<client::ServerProxy> server)
        : doc_(doc), generation_(doc.generation_), link_(std::move(server)) {}

private:
    template <class F>
    auto reported(F f) {
        try {
            return f();
        } catch (const program::LinkError& e) {
            if (!e.description()) {
                // Runs on a worker: the document hears of it on the GUI thread.
                doc_.post(&doc_, [doc = &doc_, generation = generation_] { doc->connectionLost(generation); });
            }
            throw;
        }
    }

public:
    bool Connected() const override { return link_.Connected(); }
    std::string BuildType() override {
        return reported([&] { return link_.BuildType(); });
    }
    void PutRozkazy(std::span<const std::uint8_t> image) override {
        reported([&] { link_.PutRozkazy(image); });
    }
    std::uint32_t RozkazPos() override {
        return reported([&] { return link_.RozkazPos(); });
    }
    void StartGetRozkazy() override {
        reported([&] { link_.StartGetRozkazy(); });
    }
    std::uint32_t RozkazRxPos() override {
        return reported([&] { return link_.RozkazRxPos(); });
    }
    program::ReceivedList GetRozkazy() override {
        return reported([&] { return link_.GetRozkazy(); });
    }
    // Asked after a failed transfer, to name its cause: the failure is the
    // transfer's to tell, the reconnect follows from the calls above.
    std::optional<program::LinkError> centreFault() override { return link_.centreFault(); }

private:
    Kt64Document& doc_;
    const std::uint64_t generation_;
    program::ClientCentreLink link_;
};

std::unique_ptr<program::CentreLink> Kt64Document::centreLink() {
    return std::make_unique<LossReportingLink>(*this, server_);
}

}  // namespace kt64::console
