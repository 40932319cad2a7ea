// The client object (ServerProxy): one channel for the members, each a unary call
// with a deadline, and one of its own for the lease, which is kept held
// (ClientLease.h).
#include "Kt64Client.h"

#include <grpcpp/client_context.h>
#include <grpcpp/create_channel.h>
#include <grpcpp/impl/client_unary_call.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "Activation.h"
#include "ClientCredentials.h"
#include "ClientLease.h"
#include "ChannelSettings.h"
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

struct ServerProxy::Impl {
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

ServerProxy::ServerProxy(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ServerProxy::~ServerProxy() = default;

const ServerAddress& ServerProxy::address() const noexcept { return impl_->address; }

bool ServerProxy::leaseHeld() const { return impl_->lease && impl_->lease->held(); }

std::unique_ptr<ServerProxy> ConnectServer(std::string_view computer, const ConnectOptions& options) {
    auto impl = std::make_unique<ServerProxy::Impl>();
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
    return std::unique_ptr<ServerProxy>(new ServerProxy(std::move(impl)));
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

void ServerProxy::invoke(std::size_t row, const void* in, void* out) {
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

StampedSyncTime ServerProxy::GetSyncTimeStamped() {
    StampedSyncTime value;
    value.sent = std::chrono::steady_clock::now();
    static_cast<link::StampedSyncTime&>(value) = call<members::GetSyncTimeStamped>();
    value.received = std::chrono::steady_clock::now();
    return value;
}

void awaitFirstExchange(ServerProxy& server) {
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
