// The Kt64Srv client object: one channel for the members, each a unary call
// with a deadline, and one of its own for the lease, which is kept held.
#include "Kt64Client.h"

#include <grpcpp/client_context.h>
#include <grpcpp/create_channel.h>
#include <grpcpp/impl/client_unary_call.h>
#include <grpcpp/security/credentials.h>
#include <grpcpp/support/client_callback.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "Activation.h"
#include "ChannelSettings.h"
#include "HandOff.h"
#include "LocalSockets.h"
#include "Kt64Srv.grpc.pb.h"
#include "MessageValues.h"
#include "ProgramPaths.h"
#include "Registry.h"
#include "Kt64SrvIds.h"
#include "UniqueFd.h"

namespace kt64::client {

namespace {

// Whether something accepts TCP connections on the loopback port (a plain
// connect, no gRPC): tells "another program holds RpcPort" from "nothing
// listens".
bool portAnswersTcp(std::uint16_t port) {
    const UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
}

std::string readPem(const char* what, const std::string& path) {
    try {
        return rpc::readPemFile(what, path);
    } catch (const std::runtime_error& e) {
        throw ServerError(E_INVALIDARG, e.what());
    }
}

// Plain TCP, or TLS with the files given (else those in the registry).
std::shared_ptr<grpc::ChannelCredentials> channelCredentials(ClientTls tls) {
    if (tls.empty()) {
        if (auto key = reg::Key::open(reg::Hive::LocalMachine, ids::kConfigKey)) {
            tls.serverCA = key->string("TlsServerCA").value_or("");
            tls.certificate = key->string("TlsClientCertificate").value_or("");
            tls.key = key->string("TlsClientKey").value_or("");
        }
    }
    if (tls.empty()) return grpc::InsecureChannelCredentials();
    if (tls.certificate.empty() != tls.key.empty())
        throw ServerError(E_INVALIDARG, "a client certificate needs its key, and a key its certificate");
    grpc::SslCredentialsOptions options;
    if (!tls.serverCA.empty()) options.pem_root_certs = readPem("TlsServerCA", tls.serverCA);
    if (!tls.certificate.empty()) {
        options.pem_cert_chain = readPem("TlsClientCertificate", tls.certificate);
        options.pem_private_key = readPem("TlsClientKey", tls.key);
    }
    return grpc::SslCredentials(options);
}

// Half-close of a released lease: the server answers by ending the stream;
// one that does not within this time gets a cancellation instead.
constexpr std::chrono::milliseconds kReleaseGrace{1000};

// The lease stream of one client object. The server answers with a
// LeaseGrant at once and then holds the stream open; the object's
// destructor half-closes it.
//
// gRPC destroys its side of the stream just before OnDone, and after that
// no operation may be started on it. The owner's half-close would race with
// a stream the server or the network ends meanwhile (a WritesDone started on
// a finished stream uses freed memory), so the stream is held (AddHold) and
// OnDone cannot come before the owner lets go of it (RemoveHold), once, in
// awaitGrant or release. Until then the end of the stream shows as a failed
// read. OnDone is the last callback, after which the reactor and its
// context may be destroyed.
class Lease : public grpc::ClientBidiReactor<rpc::LeaseRequest, rpc::LeaseGrant> {
public:
    // ended, when given, is called once the stream has ended, whatever ended
    // it (see onEnded).
    Lease(rpc::IKt64Srv::Stub& stub, const std::string& clientName, bool waitForReady, CallCancellation* cancellation,
          std::function<void()> ended = {})
        : endedCallback_(std::move(ended)), cancellable_(cancellation, &context_) {
        context_.set_wait_for_ready(waitForReady);
        request_.set_client(clientName);
        stub.async()->Lease(&context_, this);
        // gRPC runs each callback after its operation was started and OnDone
        // last, through locks the race detector cannot see (HandOff.h).
        handOff(&request_);
        StartWrite(&request_);
        handOff(&grant_);
        StartRead(&grant_);
        handOff(this);
        AddHold();
        StartCall();
    }

    ~Lease() override { release(); }

    // Waits for the grant. OK when granted; otherwise the failed status, or
    // DEADLINE_EXCEEDED when nothing came in time (the call is cancelled).
    // Called by the owner only, never beside release().
    grpc::Status awaitGrant(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [&] { return granted_ || ended_ || interrupted_; })) {
            lock.unlock();
            context_.TryCancel();
            return grpc::Status(grpc::StatusCode::DEADLINE_EXCEEDED, "no lease granted in time");
        }
        if (granted_) return grpc::Status::OK;
        if (!ended_) return grpc::Status(grpc::StatusCode::CANCELLED, "no longer waited for");
        // The stream ended before a grant: let it finish to learn why.
        letGo(lock);
        changed_.wait(lock, [&] { return done_; });
        return status_;
    }

    // Ends a wait in awaitGrant at once. No gRPC call: safe under the
    // owner's locks (a cancellation may run callbacks in the calling thread).
    void interrupt() {
        std::lock_guard lock(mutex_);
        interrupted_ = true;
        changed_.notify_all();
    }

    bool held() const {
        std::lock_guard lock(mutex_);
        return granted_ && !ended_;
    }

    // Ends the lease: half-close once the first write has completed (while
    // the hold keeps the stream), then cancel if the server does not finish.
    // Returns when OnDone has run.
    void release() {
        std::unique_lock lock(mutex_);
        if (!letGo_) {
            changed_.wait_for(lock, kReleaseGrace, [&] { return writeDone_ || ended_; });
            if (writeDone_ && writeOk_ && !ended_) {
                lock.unlock();
                StartWritesDone();
                lock.lock();
            }
            letGo(lock);
            changed_.wait_for(lock, kReleaseGrace, [&] { return done_; });
        }
        if (!done_) {
            lock.unlock();
            context_.TryCancel();
            lock.lock();
        }
        changed_.wait(lock, [&] { return finished_; });
    }

    // Calls ended once the stream has ended (at once when it has). The object
    // is not destroyed before the call has returned.
    void onEnded(std::function<void()> ended) {
        {
            std::lock_guard lock(mutex_);
            if (!ended_) {
                endedCallback_ = std::move(ended);
                return;
            }
        }
        ended();
    }

    void OnWriteDone(bool ok) override {
        takeOver(&request_);
        std::lock_guard lock(mutex_);
        writeDone_ = true;
        writeOk_ = ok;
        changed_.notify_all();
    }

    void OnReadDone(bool ok) override {
        takeOver(&grant_);
        if (ok) {
            {
                std::lock_guard lock(mutex_);
                granted_ = true;
                changed_.notify_all();
            }
            // Keep a read pending so that the server's end of the stream is seen.
            handOff(&grant_);
            StartRead(&grant_);
            return;
        }
        // The stream has ended (the server, the network or a cancellation):
        // OnDone waits for the owner to let go.
        std::function<void()> ended;
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
            ended = std::move(endedCallback_);
            changed_.notify_all();
        }
        // OnDone cannot run before this returns: the object lives.
        if (ended) ended();
    }

    void OnDone(const grpc::Status& status) override {
        takeOver(this);
        {
            std::lock_guard lock(mutex_);
            status_ = status;
            done_ = true;
            changed_.notify_all();
        }
        // Only now may release() return and the owner destroy the object.
        std::lock_guard lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }

private:
    // Removes the hold, once; OnDone follows when every operation is over.
    void letGo(std::unique_lock<std::mutex>& lock) {
        if (letGo_) return;
        letGo_ = true;
        lock.unlock();
        RemoveHold();
        lock.lock();
    }

    std::function<void()> endedCallback_;
    grpc::ClientContext context_;
    CancellableCall cancellable_;
    rpc::LeaseRequest request_;
    rpc::LeaseGrant grant_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool writeDone_ = false;
    bool writeOk_ = false;
    bool granted_ = false;
    bool ended_ = false;  // the read failed: the stream is over
    bool letGo_ = false;  // the hold is removed
    bool done_ = false;
    bool finished_ = false;
    bool interrupted_ = false;
    grpc::Status status_;
};

// Delay before another attempt when a lease could not be re-taken.
constexpr std::chrono::milliseconds kRetakePause{500};
// Time a re-taken lease may take to be granted before it is tried anew.
constexpr std::chrono::milliseconds kRetakeGrant{3000};

// Holds a lease for the client object's whole life. A lease lives on one
// connection; when that connection drops (a network blip, a proxy reset)
// while the object lives, the server would end about 5 s later under a
// client still using it. The keeper takes a new lease as soon as the old one
// has ended, waiting for the channel to reconnect, and goes on trying until
// the object is destroyed. The lease has a channel of its own, so a call the
// server refuses at the transport level (oversized metadata) cannot take the
// lease's connection down with it.
class LeaseKeeper {
public:
    LeaseKeeper(std::unique_ptr<rpc::IKt64Srv::Stub> stub, std::string clientName, CallCancellation* cancellation)
        : stub_(std::move(stub)), clientName_(std::move(clientName)), cancellation_(cancellation) {}

    ~LeaseKeeper() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            if (lease_) lease_->interrupt();
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
        // The lease in force is released in order (half-close, grace).
        std::unique_ptr<Lease> last;
        {
            std::lock_guard lock(mutex_);
            last = std::move(lease_);
        }
        last.reset();
    }

    // A first lease for ConnectServer to wait on.
    std::unique_ptr<Lease> attempt(bool waitForReady) {
        return std::make_unique<Lease>(*stub_, clientName_, waitForReady, cancellation_);
    }

    // Takes over the granted first lease and keeps one held from now on.
    void keep(std::unique_ptr<Lease> granted) {
        Lease* first = granted.get();
        {
            std::lock_guard lock(mutex_);
            lease_ = std::move(granted);
        }
        thread_ = std::thread([this] { run(); });
        first->onEnded([this] { leaseEnded(); });
    }

    bool held() const {
        std::lock_guard lock(mutex_);
        return lease_ && lease_->held();
    }

private:
    void leaseEnded() {
        {
            std::lock_guard lock(mutex_);
            ended_ = true;
        }
        changed_.notify_all();
    }

    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return stopping_ || ended_; });
            if (stopping_) return;
            ended_ = false;
            // The ended lease is done: destroy it outside the lock, then
            // put a new one, waiting for the connection, in its place.
            auto old = std::move(lease_);
            lock.unlock();
            old.reset();
            auto fresh = std::make_unique<Lease>(*stub_, clientName_, true, cancellation_, [this] { leaseEnded(); });
            lock.lock();
            lease_ = std::move(fresh);
            if (stopping_) return;
            Lease* current = lease_.get();
            lock.unlock();
            const bool granted = current->awaitGrant(kRetakeGrant).ok();
            lock.lock();
            // A grant that did not come in time was cancelled; its end, which
            // brings the next attempt, is on its way.
            if (!granted && !stopping_) changed_.wait_for(lock, kRetakePause, [&] { return stopping_.load(); });
        }
    }

    std::unique_ptr<rpc::IKt64Srv::Stub> stub_;
    const std::string clientName_;
    CallCancellation* const cancellation_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::unique_ptr<Lease> lease_;
    bool ended_ = false;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

std::string defaultClientName() {
    std::string program = "client";
    try {
        program = executablePath().filename().string();
    } catch (const std::exception&) {
        // No /proc: the generic name will do for a log line.
    }
    std::string host;
    try {
        host = computerName();
    } catch (const std::exception&) {
    }
    return program + " " + std::to_string(::getpid()) + (host.empty() ? "" : "@" + host);
}

std::string localComputerName() {
    try {
        return computerName();
    } catch (const std::exception&) {
        return {};
    }
}

// This computer's control socket when this user may open it (or when it is
// not there yet: a server still to be started), its read socket otherwise.
std::string localSocketTarget(std::uint16_t port) {
    const auto control = rpc::localSocketPath(rpc::LocalSocket::Control, port);
    std::string path = control.string();
    if (::access(control.c_str(), W_OK) != 0 && errno != ENOENT)
        path = rpc::localSocketPath(rpc::LocalSocket::Read, port).string();
    if (path.size() > rpc::kLongestSocketPath)
        throw ServerError(E_INVALIDARG, "the link server's local socket " + path + " has a path longer than " +
                                            std::to_string(rpc::kLongestSocketPath) +
                                            " bytes (set KT64_RUNTIME_DIR to a shorter folder)");
    return "unix:" + path;
}

}  // namespace

struct Kt64Srv::Impl {
    ServerAddress address;
    ConnectOptions options;
    std::shared_ptr<grpc::Channel> channel;
    std::unique_ptr<LeaseKeeper> lease;

    // The row's call with its deadline; throws ServerError on failure.
    template <class Row>
    typename Row::Answer call(const typename Row::Request& request) {
        // Named as the generated stub names it: "/kt64.rpc.IKt64Srv/GetGmtTime".
        static const std::string path =
            "/" + std::string(rpc::IKt64Srv::service_full_name()) + "/" + std::string(Row::name);
        grpc::ClientContext context;
        const auto timeout = Row::kind == ids::CallKind::Wait ? options.waitTimeout : options.callTimeout;
        context.set_deadline(std::chrono::system_clock::now() + timeout);
        const CancellableCall cancellable(options.cancellation.get(), &context);
        const grpc::internal::RpcMethod method(path.c_str(), grpc::internal::RpcMethod::NORMAL_RPC, channel);
        typename Row::Answer answer;
        // What the generated stub does: one blocking unary call over the base
        // message class.
        grpc::Status status =
            grpc::internal::BlockingUnaryCall<typename Row::Request, typename Row::Answer, grpc::protobuf::MessageLite,
                                              grpc::protobuf::MessageLite>(channel.get(), method, &context, request,
                                                                           &answer);
        if (!status.ok()) throw toServerError(status);
        return answer;
    }
};

Kt64Srv::Kt64Srv(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Kt64Srv::~Kt64Srv() = default;

const ServerAddress& Kt64Srv::address() const noexcept { return impl_->address; }

bool Kt64Srv::leaseHeld() const { return impl_->lease && impl_->lease->held(); }

std::unique_ptr<Kt64Srv> ConnectServer(std::string_view computer, const ConnectOptions& options) {
    auto impl = std::make_unique<Kt64Srv::Impl>();
    impl->options = options;
    if (impl->options.clientName.empty()) impl->options.clientName = defaultClientName();
    // The server ends a lease whose holder name is longer than it keeps
    // (256 bytes); the name is only for its log.
    if (auto& name = impl->options.clientName; name.size() > 256) {
        std::size_t end = 256;  // not inside a UTF-8 sequence: a string field must stay valid UTF-8
        while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
        name.resize(end);
    }
    try {
        impl->address = parseServerAddress(computer, registeredRpcPort(), localComputerName());
    } catch (const AddressError& e) {
        throw ServerError(E_INVALIDARG, e.what());
    } catch (const reg::RegistryError& e) {
        throw ServerError(hresultFromWin32(static_cast<unsigned>(e.code())), e.what());
    }
    const bool socket = impl->address.local && !options.viaTcp;
    // The object's channels, one for the members and one for the lease;
    // made again after an on-demand start, when the sockets are there to
    // tell which of them this user may open.
    bool viaSocket = false;
    auto openChannels = [&] {
        std::string target;
        std::shared_ptr<grpc::ChannelCredentials> credentials;
        viaSocket = socket;
        if (viaSocket) {
            target = localSocketTarget(impl->address.port);
            // A server without local sockets (of an older version, or with
            // another KT64_RUNTIME_DIR) is still reached, through TCP, as
            // another computer reaches it. A server listens on TCP a moment
            // before its sockets are there: it gets a second to make them.
            const std::filesystem::path file = target.substr(5);
            const auto given = std::chrono::steady_clock::now() + std::chrono::seconds(1);
            std::error_code missing;
            if (!std::filesystem::exists(file, missing) && portAnswersTcp(impl->address.port)) {
                while (!std::filesystem::exists(file, missing)) {
                    if (std::chrono::steady_clock::now() >= given) {
                        viaSocket = false;
                        break;
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
            }
        }
        if (viaSocket) {
            credentials = grpc::InsecureChannelCredentials();
        } else {
            target = impl->address.target();
            try {
                credentials = channelCredentials(options.tls);
            } catch (const reg::RegistryError& e) {
                throw ServerError(hresultFromWin32(static_cast<unsigned>(e.code())), e.what());
            }
        }
        impl->lease.reset();
        impl->channel = grpc::CreateCustomChannel(target, credentials, rpc::clientChannelArguments());
        impl->lease = std::make_unique<LeaseKeeper>(
            rpc::IKt64Srv::NewStub(grpc::CreateCustomChannel(target, credentials, rpc::clientChannelArguments())),
            impl->options.clientName, impl->options.cancellation.get());
        return target;
    };
    const std::string first = openChannels();
    // Messages name where the server was looked for.
    const std::string where = viaSocket ? first.substr(5) : impl->address.target();
    auto lease = impl->lease->attempt(false);
    grpc::Status status = lease->awaitGrant(options.connectTimeout);
    if (status.error_code() == grpc::StatusCode::UNAVAILABLE && impl->address.local &&
        portAnswersTcp(impl->address.port)) {
        // Something listens but no link server answers (another program,
        // or a server that requires TLS): starting one would not help.
        throw ServerError(E_RPC_SERVER_UNAVAILABLE, where + " accepts connections but no link server answers there (" +
                                                        status.error_message() + ")");
    }
    if (status.error_code() == grpc::StatusCode::UNAVAILABLE && impl->address.local) {
        // Nothing listens here: start the registered server (or service),
        // then wait for the channel to become ready and the lease to be
        // granted, all within the activation time.
        lease.reset();
        const auto deadline = std::chrono::steady_clock::now() + options.activationTimeout;
        Starters starters;
        starters.service = options.startService;
        const std::string started = activateLocalServer(starters, options.activationTimeout);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        openChannels();
        lease = impl->lease->attempt(true);
        status = lease->awaitGrant(std::max(left, std::chrono::milliseconds(0)));
        if (!status.ok()) {
            if (status.error_code() == grpc::StatusCode::DEADLINE_EXCEEDED) {
                // The usual reason a started server never answers: another
                // program holds its port, so it could not listen.
                const bool taken = portAnswersTcp(impl->address.port);
                throw ServerError(E_SERVER_EXEC_FAILURE,
                                  started + " was started but did not answer on " + where +
                                      (taken ? "; RpcPort " + std::to_string(impl->address.port) +
                                                   " is taken by another program: set RpcPort under "
                                                   "HKLM\\Software\\Ardonis\\Kt64Srv"
                                             : std::string()));
            }
            throw toServerError(status);
        }
    } else if (!status.ok()) {
        if (status.error_code() == grpc::StatusCode::DEADLINE_EXCEEDED)
            throw ServerError(E_RPC_TIMEOUT, "no answer from " + where);
        if (status.error_code() == grpc::StatusCode::UNAVAILABLE)
            throw ServerError(E_RPC_SERVER_UNAVAILABLE,
                              "no link server answers on " + where + " (" + status.error_message() + ")");
        throw toServerError(status);
    }
    impl->lease->keep(std::move(lease));
    return std::unique_ptr<Kt64Srv>(new Kt64Srv(std::move(impl)));
}

// --- members -----------------------------------------------------------------

namespace {

// The client's values of the messages that are not the generated code's own.
VariantArray clientValue(const rpc::VariantOut& out) {
    return {out.pval().vt(), std::vector<std::uint8_t>(out.pval().parray().begin(), out.pval().parray().end())};
}

link::StampedSyncTime clientValue(const rpc::SyncTimeStampedOut& out) {
    link::StampedSyncTime value;
    value.Time = out.time();
    value.FrameMonotonicNs = out.framemonotonicns();
    value.FrameRealtimeNs = out.framerealtimens();
    value.FrameNo = out.frameno();
    value.ServerMonotonicNs = out.servermonotonicns();
    value.RequestMonotonicNs = out.requestmonotonicns();
    value.GmtTime = out.gmttime();
    return value;
}

template <class Message>
CallValue<Message> clientValue(const Message& m) {
    return static_cast<CallValue<Message>>(rpc::valueOf(m));
}

}  // namespace

void Kt64Srv::invoke(std::size_t row, const void* in, void* out) {
    members::All::forEach([&]<class Row>() {
        if constexpr (Row::kind != ids::CallKind::Stream) {
            if (members::All::indexOf<Row>() != row) return;
            using In = CallValue<typename Row::Request>;
            using Out = CallValue<typename Row::Answer>;
            typename Row::Request request;
            if constexpr (!std::is_void_v<In>) rpc::setValue(request, *static_cast<const In*>(in));
            const auto answer = impl_->call<Row>(request);
            if constexpr (!std::is_void_v<Out>) *static_cast<Out*>(out) = clientValue(answer);
        }
    });
}

StampedSyncTime Kt64Srv::GetSyncTimeStamped() {
    StampedSyncTime value;
    value.sent = std::chrono::steady_clock::now();
    static_cast<link::StampedSyncTime&>(value) = call<members::GetSyncTimeStamped>();
    value.received = std::chrono::steady_clock::now();
    return value;
}

void awaitFirstExchange(Kt64Srv& server) {
    // The device-read event keeps a signal that nobody waited for (the last
    // exchange before a port switch, say), so the first wait may end at once
    // with the reading still to come; the second ends with a fresh one.
    constexpr int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        try {
            server.GetGmtTime();
            return;
        } catch (const ServerError& e) {
            if (!e.description()) throw;  // no server to wait for
            // Any other refusal is the centre's state, for the caller to read.
            if (e.code() != E_KT64_NOERROR) return;
        }
        server.WaitForDeviceRead();
    }
}

}  // namespace kt64::client
