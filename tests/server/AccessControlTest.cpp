// Opt-in restriction of remote access, on loopback addresses only: a caller
// outside AllowedClients is refused with a clear error and logged; a server
// with TLS and client certificates serves only clients that present one
// signed by its CA. Certificates are made for each run with openssl.
#include <gtest/gtest.h>

#include <google/protobuf/descriptor.h>
#include <grpcpp/create_channel.h>
#include <grpcpp/generic/generic_stub.h>

#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "CallerLimits.h"
#include "DeviceReadEvent.h"
#include "ChannelSettings.h"
#include "ErrorStatus.h"
#include "InterfaceService.h"
#include "Kt64Client.h"
#include "Kt64Srv.grpc.pb.h"
#include "AutomationObject.h"
#include "LocalSockets.h"
#include "MemberRights.h"
#include "RpcServer.h"
#include "ServerConfig.h"
#include "SharedDevice.h"
#include "ShutdownMonitor.h"
#include "TestEnvironment.h"

namespace kt64::test {
namespace {

const google::protobuf::ServiceDescriptor& interface() {
    return *google::protobuf::DescriptorPool::generated_pool()->FindServiceByName(rpc::IKt64Srv::service_full_name());
}

// Calls a one-shot member with an empty request, which every request type
// decodes as its defaults. WaitForDeviceRead, which would wait for a reading
// of a centre these rigs do not have, gets a short deadline.
grpc::Status callMember(const std::shared_ptr<grpc::Channel>& channel,
                        const google::protobuf::MethodDescriptor& method) {
    grpc::GenericStub stub(channel);
    grpc::ClientContext context;
    context.set_deadline(std::chrono::system_clock::now() + (method.name() == "WaitForDeviceRead"
                                                                 ? std::chrono::milliseconds(300)
                                                                 : std::chrono::milliseconds(10000)));
    grpc::CompletionQueue queue;
    grpc::Slice empty("");
    grpc::ByteBuffer request(&empty, 1), response;
    grpc::Status status;
    auto call = stub.PrepareUnaryCall(&context, "/" + std::string(interface().full_name()) + "/" + method.name(),
                                      request, &queue);
    call->StartCall();
    call->Finish(&response, &status, nullptr);
    void* tag = nullptr;
    bool ok = false;
    if (!queue.Next(&tag, &ok)) return grpc::Status(grpc::StatusCode::INTERNAL, "no completion");
    return status;
}

// The refusal's text when status is a refusal for a missing right.
std::optional<std::string> rightRefused(const grpc::Status& status) {
    const auto record = rpc::errorRecord(status);
    if (!record || static_cast<std::uint32_t>(record->hresult) != 0x80070005u) return std::nullopt;
    return record->description.value_or("");
}

server::ServerAccess allowing(const char* clients) {
    server::ServerAccess access;
    access.filter = server::ClientFilter::parse(clients);
    return access;
}

server::ServerAccess tls(std::string certificate, std::string key, std::string clientCA = {}) {
    server::ServerAccess access;
    access.tlsCertificate = std::move(certificate);
    access.tlsKey = std::move(key);
    access.tlsClientCA = std::move(clientCA);
    return access;
}

// The automation class behind the real gRPC server on 127.0.0.1; no worker
// is needed for GetComPort, which answers from the registry.
struct AccessRig {
    explicit AccessRig(server::ServerAccess access) : server(srv, leases, "127.0.0.1", 0, withLog(std::move(access))) {
        server.start();
    }
    server::ServerAccess withLog(server::ServerAccess access) {
        access.log = [this](server::LogLevel, const std::string& text) {
            std::lock_guard lock(mutex);
            lines.push_back(text);
        };
        return access;
    }
    std::unique_ptr<client::ServerProxy> connect(client::ClientTls tls = {}) {
        client::ConnectOptions options;
        options.tls = std::move(tls);
        options.viaTcp = true;  // as another computer reaches it
        options.connectTimeout = std::chrono::milliseconds(3000);
        return client::ConnectServer("localhost:" + std::to_string(server.port()), options);
    }
    bool logged(const std::string& text) {
        std::lock_guard lock(mutex);
        for (const auto& l : lines)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }

    TempRegistry registry;
    server::SharedDevice device;
    server::DeviceReadEvent event;
    server::ServerConfig config;
    server::AutomationObject srv{device, event, config};
    server::ShutdownMonitor leases{server::kIdleShutdown, [] {}};
    std::mutex mutex;
    std::vector<std::string> lines;
    server::RpcServer server;
};

TEST(AccessControl, CallersOutsideAllowedClientsAreRefusedAndLogged) {
    {
        AccessRig rig(allowing("127.0.0.2, 10.0.0.0/8"));
        try {
            rig.connect();
            ADD_FAILURE() << "a caller outside AllowedClients was served";
        } catch (const client::ServerError& e) {
            EXPECT_EQ(static_cast<std::uint32_t>(e.code()), 0x80070005u) << e.what();
            EXPECT_NE(std::string(e.what()).find("does not serve callers from 127.0.0.1 (AllowedClients)"),
                      std::string::npos)
                << e.what();
            EXPECT_EQ(client::connectionFix(e),
                      "ask the link server's administrator to add this computer to AllowedClients");
        }
        EXPECT_TRUE(rig.logged("refused a call from 127.0.0.1: not in AllowedClients"));
        EXPECT_EQ(rig.leases.leases(), 0);
        // Every one-shot member refuses such a caller, the readers too: the
        // interface's own list, so a member added later is checked as well.
        auto channel =
            grpc::CreateChannel("127.0.0.1:" + std::to_string(rig.server.port()), grpc::InsecureChannelCredentials());
        grpc::GenericStub stub(channel);
        const auto* service =
            google::protobuf::DescriptorPool::generated_pool()->FindServiceByName(rpc::IKt64Srv::service_full_name());
        ASSERT_NE(service, nullptr);
        for (int i = 0; i < service->method_count(); ++i) {
            const auto* method = service->method(i);
            if (method->client_streaming() || method->server_streaming()) continue;
            EXPECT_EQ(callMember(channel, *method).error_code(), grpc::StatusCode::PERMISSION_DENIED) << method->name();
        }
    }
    AccessRig rig(allowing("127.0.0.0/8"));
    EXPECT_EQ(rig.connect()->GetComPort(), 1u);
    EXPECT_TRUE(rig.logged("lease taken by "));
}

// A CA, a server certificate for localhost/127.0.0.1 and two client
// certificates (kt64-client, a reading PC's; kt64-console, one a site may
// grant control), all signed by the CA; and a second CA that signed nothing
// the server trusts.
class Certificates {
public:
    Certificates() {
        if (std::system("command -v openssl >/dev/null 2>&1") != 0) return;
        const std::string d = dir_.path().string();
        const std::string script =
            "set -e; cd '" + d +
            "'; "
            "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=kt64-test-ca -keyout ca.key -out ca.pem; "
            "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=other-ca -keyout other.key -out other.pem; "
            "printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\\n' > san.ext; "
            "openssl req -newkey rsa:2048 -nodes -subj /CN=localhost -keyout server.key -out server.csr; "
            "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile san.ext "
            "-out server.pem; "
            "openssl req -newkey rsa:2048 -nodes -subj /CN=kt64-client -keyout client.key -out client.csr; "
            "openssl x509 -req -in client.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -out client.pem; "
            "openssl req -newkey rsa:2048 -nodes -subj /CN=kt64-console -keyout console.key -out console.csr; "
            "openssl x509 -req -in console.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -out console.pem; "
            "openssl req -newkey rsa:2048 -nodes -subj /CN=stranger -keyout stranger.key -out stranger.csr; "
            "openssl x509 -req -in stranger.csr -CA other.pem -CAkey other.key -CAcreateserial -days 2 "
            "-out stranger.pem";
        made_ = std::system(("( " + script + " ) >/dev/null 2>&1").c_str()) == 0;
    }
    bool made() const { return made_; }
    std::string file(const char* name) const { return (dir_.path() / name).string(); }

private:
    TempDir dir_;
    bool made_ = false;
};

// TLS with client certificates of the test CA; kt64-console granted control.
server::ServerAccess mutualTls(const Certificates& certs) {
    auto access = tls(certs.file("server.pem"), certs.file("server.key"), certs.file("ca.pem"));
    access.controlCertificates = {"kt64-console"};
    return access;
}

TEST(AccessControl, TlsWithClientCertificatesServesOnlyCertifiedClients) {
    Certificates certs;
    ASSERT_TRUE(certs.made()) << "openssl (scripts/setup installs it) could not make the test certificates";
    AccessRig rig(mutualTls(certs));

    EXPECT_EQ(rig.connect({certs.file("ca.pem"), certs.file("client.pem"), certs.file("client.key")})->GetComPort(),
              1u);
    struct Row {
        const char* what;
        client::ClientTls tls;
    };
    const Row refused[] = {
        {"plain TCP", {}},
        {"no client certificate", {certs.file("ca.pem"), "", ""}},
        {"a certificate of another CA", {certs.file("ca.pem"), certs.file("stranger.pem"), certs.file("stranger.key")}},
    };
    for (const Row& row : refused) {
        SCOPED_TRACE(row.what);
        EXPECT_THROW(rig.connect(row.tls), client::ServerError);
    }
    // A file that cannot be read is named.
    try {
        rig.connect({certs.file("missing.pem"), "", ""});
        ADD_FAILURE() << "a missing CA file was accepted";
    } catch (const client::ServerError& e) {
        EXPECT_NE(std::string(e.what()).find("TlsServerCA " + certs.file("missing.pem") + ": cannot be read"),
                  std::string::npos)
            << e.what();
    }
}

TEST(AccessControl, AServerWhoseTlsFilesCannotBeReadDoesNotListen) {
    TempDir dir;
    const std::string missing = (dir.path() / "server.pem").string();
    try {
        AccessRig rig(tls(missing, missing));
        ADD_FAILURE() << "listened without its certificate";
    } catch (const server::ListenError& e) {
        EXPECT_NE(std::string(e.what()).find("TlsKey " + missing + ": cannot be read"), std::string::npos) << e.what();
    }
}

// Every member of the interface has its row in the rights table, and the
// row says what the member does: a member that changes the centre or the
// server (its name starts with Put, Set or Start, or it pauses the link)
// needs Control, every other one reads.
TEST(MemberRights, EveryMemberOfTheInterfaceHasItsRight) {
    const auto& service = interface();
    ASSERT_EQ(std::size(ids::kMemberRights), static_cast<std::size_t>(service.method_count()))
        << "a row for a member the interface does not have, or a member without a row";
    for (int i = 0; i < service.method_count(); ++i) {
        const std::string name = service.method(i)->name();
        const auto row = std::find_if(std::begin(ids::kMemberRights), std::end(ids::kMemberRights),
                                      [&](const ids::MemberRight& r) { return r.member == name; });
        ASSERT_NE(row, std::end(ids::kMemberRights)) << name << " has no right";
        const bool changes = name.starts_with("Put") || name.starts_with("Set") || name.starts_with("Start") ||
                             name == "ComunicationEnable";
        EXPECT_EQ(row->right, changes ? ids::Right::Control : ids::Right::Read) << name;
    }
}

// The server and the clients are made from the member table: every row
// names an RPC of the interface with its own messages, once, and a row that
// does not match the interface is refused before anything is served or
// called with it (it would read requests as the wrong message).
TEST(MemberTable, EveryRowIsAnRpcOfTheInterface) {
    std::set<int> numbers;
    members::All::forEach([&]<class Row>() {
        EXPECT_NO_THROW(EXPECT_TRUE(numbers.insert(rpc::methodIndex<Row>()).second) << Row::name) << Row::name;
    });
    EXPECT_EQ(numbers.size(), static_cast<std::size_t>(interface().method_count()));

    using ids::CallKind;
    using ids::Member;
    using ids::Right;
    struct Row {
        const char* what;
        int (*number)();
    };
    const Row refused[] = {
        {"a name the interface lacks", &rpc::methodIndex<Member<"GetGmtTim", rpc::Void, rpc::DateOut, Right::Read>>},
        {"another answer", &rpc::methodIndex<Member<"GetGmtTime", rpc::Void, rpc::DoubleOut, Right::Read>>},
        {"another request", &rpc::methodIndex<Member<"PutGmtTime", rpc::DoubleIn, rpc::Void, Right::Control>>},
        {"a stream called once", &rpc::methodIndex<Member<"Lease", rpc::LeaseRequest, rpc::LeaseGrant, Right::Read>>},
        {"a call held as a stream",
         &rpc::methodIndex<Member<"GetGmtTime", rpc::Void, rpc::DateOut, Right::Read, CallKind::Stream>>},
    };
    for (const Row& row : refused) EXPECT_THROW(row.number(), std::logic_error) << row.what;
}

// Each way into the server grants its right: every one-shot member over it
// either runs (its own outcome, whatever that is without a centre) or is
// refused with E_ACCESSDENIED and a text naming what the caller lacks,
// and only Control members are ever refused.
TEST(AccessControl, EachWayInGrantsItsRight) {
    Certificates certs;
    ASSERT_TRUE(certs.made()) << "openssl (scripts/setup installs it) could not make the test certificates";
    AccessRig plain({});
    const auto port = static_cast<std::uint16_t>(plain.server.port());
    // Named before the second rig moves the private folder elsewhere.
    const auto readSocket = rpc::localSocketPath(rpc::LocalSocket::Read, port);
    const auto controlSocket = rpc::localSocketPath(rpc::LocalSocket::Control, port);
    auto tlsAccess = mutualTls(certs);
    tlsAccess.localSockets = false;
    AccessRig secured(tlsAccess);
    auto tcp = [](AccessRig& rig, std::shared_ptr<grpc::ChannelCredentials> credentials) {
        return grpc::CreateChannel("127.0.0.1:" + std::to_string(rig.server.port()), credentials);
    };
    auto certified = [&](const char* name) {
        grpc::SslCredentialsOptions options;
        options.pem_root_certs = rpc::readPemFile("CA", certs.file("ca.pem"));
        options.pem_cert_chain = rpc::readPemFile("certificate", certs.file((name + std::string(".pem")).c_str()));
        options.pem_private_key = rpc::readPemFile("key", certs.file((name + std::string(".key")).c_str()));
        return grpc::SslCredentials(options);
    };
    auto socket = [](const std::filesystem::path& path) {
        return grpc::CreateChannel("unix:" + path.string(), grpc::InsecureChannelCredentials());
    };
    struct Row {
        const char* way;
        std::shared_ptr<grpc::Channel> channel;
        const char* refusal;  // "" where the caller controls
    };
    const Row rows[] = {
        {"another computer", tcp(plain, grpc::InsecureChannelCredentials()),
         "Brak uprawnień: komputer 127.0.0.1 może tylko odczytywać. Zmiany z innego komputera wymagają certyfikatu "
         "klienta z prawem sterowania (TlsControlClients w HKLM\\Software\\Ardonis\\Kt64Srv)."},
        {"a reading PC's certificate", tcp(secured, certified("client")),
         "Brak uprawnień: certyfikat „kt64-client” komputera 127.0.0.1 pozwala tylko odczytywać; prawo sterowania "
         "nadaje administrator serwera (TlsControlClients w HKLM\\Software\\Ardonis\\Kt64Srv)."},
        {"a certificate granted control", tcp(secured, certified("console")), ""},
        {"the read socket", socket(readSocket),
         "Brak uprawnień: zmieniać ustawienia centrali może na tym komputerze tylko root lub członek grupy kt64 "
         "(adduser NAZWA kt64, potem ponowne zalogowanie); ten użytkownik może tylko odczytywać."},
        {"the control socket", socket(controlSocket), ""},
    };
    // A refusal changes nothing, and is logged once a minute per caller.
    auto reader = plain.connect();
    EXPECT_THROW(reader->SetComPort(7), client::ServerError);
    EXPECT_EQ(reader->GetComPort(), 1u);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.way);
        for (int i = 0; i < interface().method_count(); ++i) {
            const auto& method = *interface().method(i);
            if (method.client_streaming() || method.server_streaming()) continue;
            const auto refused = rightRefused(callMember(row.channel, method));
            const bool control = ids::rightOf(method.name()) == ids::Right::Control;
            EXPECT_EQ(refused.has_value(), control && *row.refusal != '\0') << method.name();
            if (refused) {
                EXPECT_EQ(*refused, row.refusal) << method.name();
            }
        }
    }
    EXPECT_TRUE(plain.logged("refused SetComPort from 127.0.0.1: no client certificate granted control"));
    EXPECT_FALSE(plain.logged("refused PutRozkazy")) << "logged again within the minute";
    // This computer's client takes the control socket by itself.
    ScopedEnv plainSockets{"KT64_RUNTIME_DIR", plain.registry.dir().string()};
    auto local = client::ConnectServer("localhost:" + std::to_string(port));
    local->SetComPort(2);
    EXPECT_EQ(reader->GetComPort(), 2u);
}

// The sockets' files decide who reaches which: another user (neither root
// nor of the socket's group) may connect to the read socket only.
TEST(AccessControl, OnlyTheOperatorsReachTheControlSocket) {
    AccessRig rig({});
    const auto port = static_cast<std::uint16_t>(rig.server.port());
    const auto control = rpc::localSocketPath(rpc::LocalSocket::Control, port);
    const auto read = rpc::localSocketPath(rpc::LocalSocket::Read, port);
    struct stat made {};
    ASSERT_EQ(::lstat(control.c_str(), &made), 0);
    EXPECT_TRUE(S_ISSOCK(made.st_mode));
    EXPECT_EQ(made.st_mode & 07777, 0660u);
    if (const struct group* operators = ::getgrnam("kt64")) {
        EXPECT_EQ(made.st_gid, operators->gr_gid);
    }
    ASSERT_EQ(::lstat(read.c_str(), &made), 0);
    EXPECT_EQ(made.st_mode & 07777, 0666u);
    if (::geteuid() != 0) GTEST_SKIP() << "connecting as another user needs root";

    std::filesystem::permissions(rig.registry.dir(), std::filesystem::perms(0755));
    // The child only makes system calls: this process runs gRPC's threads.
    auto connectsAsNobody = [](const std::filesystem::path& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                ::setresuid(65534, 65534, 65534) != 0)
                ::_exit(2);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) ::_exit(0);
            ::_exit(errno == EACCES ? 1 : 3);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(connectsAsNobody(control), 1) << "another user reached the control socket";
    EXPECT_EQ(connectsAsNobody(read), 0);
}

// What a caller can make the server hold has caps: leases per caller (the
// read socket's users are one caller) and in total, the holder's name.
TEST(AccessControl, LeasesStopAtTheirCaps) {
    auto access = allowing("");
    access.caps = {3, 6, 2};
    AccessRig rig(access);
    // A name longer than the server keeps ends the lease; one larger than
    // any request is not even read.
    auto channel =
        grpc::CreateChannel("127.0.0.1:" + std::to_string(rig.server.port()), grpc::InsecureChannelCredentials());
    auto stub = rpc::IKt64Srv::NewStub(channel);
    for (const std::size_t length : {std::size_t{257}, std::size_t{4} << 20}) {
        SCOPED_TRACE(length);
        grpc::ClientContext context;
        context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(10));
        auto stream = stub->Lease(&context);
        rpc::LeaseRequest request;
        request.set_client(std::string(length, 'n'));
        stream->Write(request);
        rpc::LeaseGrant grant;
        while (stream->Read(&grant)) {
        }
        const grpc::Status status = stream->Finish();
        if (length > server::kLongestClientName && length < server::kLargestRequest) {
            const auto record = rpc::errorRecord(status);
            ASSERT_TRUE(record);
            EXPECT_EQ(static_cast<std::uint32_t>(record->hresult), 0x80070057u);
        } else {
            EXPECT_EQ(status.error_code(), grpc::StatusCode::RESOURCE_EXHAUSTED) << status.error_message();
        }
    }
    EXPECT_TRUE(eventually([&] { return rig.server.limits().leases() == 0; })) << "a refused name kept its place";

    // Leases as this computer's client takes them (through the control
    // socket, as root), over TCP, and raw on the read socket.
    std::vector<std::unique_ptr<client::ServerProxy>> held;
    struct RawLease {
        std::unique_ptr<grpc::ClientContext> context = std::make_unique<grpc::ClientContext>();
        std::unique_ptr<grpc::ClientReaderWriter<rpc::LeaseRequest, rpc::LeaseGrant>> stream;
    };
    std::vector<RawLease> raw;
    auto readSocket = rpc::IKt64Srv::NewStub(grpc::CreateChannel(
        "unix:" + rpc::localSocketPath(rpc::LocalSocket::Read, static_cast<std::uint16_t>(rig.server.port())).string(),
        grpc::InsecureChannelCredentials()));
    enum Way { Tcp, ControlSocket, ReadSocket };
    auto refusal = [&](Way way) -> std::string {
        if (way == ReadSocket) {
            RawLease lease;
            lease.stream = readSocket->Lease(lease.context.get());
            rpc::LeaseRequest request;
            request.set_client("reader");
            rpc::LeaseGrant grant;
            if (lease.stream->Write(request) && lease.stream->Read(&grant)) {
                raw.push_back(std::move(lease));
                return "";
            }
            const auto record = rpc::errorRecord(lease.stream->Finish());
            return record ? std::to_string(static_cast<std::uint32_t>(record->hresult)) + " " +
                                record->description.value_or("")
                          : "no error object";
        }
        client::ConnectOptions options;
        options.viaTcp = way == Tcp;
        options.connectTimeout = std::chrono::milliseconds(3000);
        try {
            held.push_back(client::ConnectServer("localhost:" + std::to_string(rig.server.port()), options));
            return "";
        } catch (const client::ServerError& e) {
            return std::to_string(static_cast<std::uint32_t>(e.code())) + " " + e.description().value_or("");
        }
    };
    const std::string perCaller = std::to_string(0x8007000Eu) +
                                  " Za dużo połączeń klientów z 127.0.0.1 (najwyżej 3); zamknij programy, które ich "
                                  "nie zwalniają.";
    const std::string total = std::to_string(0x8007000Eu) +
                              " Serwer obsługuje już najwięcej połączeń klientów (6); spróbuj ponownie później.";
    struct Step {
        Way way;
        std::string expected;
    };
    // The operators are held to no cap: strangers who fill them must not
    // lock them out.
    const Step steps[] = {{Tcp, ""},           {Tcp, ""},        {Tcp, ""},           {Tcp, perCaller},
                          {ReadSocket, ""},    {ReadSocket, ""}, {ControlSocket, ""}, {ReadSocket, ""},
                          {ReadSocket, total}, {Tcp, total},     {ControlSocket, ""}};
    for (const Step& step : steps) EXPECT_EQ(refusal(step.way), step.expected) << step.way;
    EXPECT_EQ(rig.server.limits().leases(), 6u);
    // An ended lease frees its place.
    held.erase(held.begin());
    ASSERT_TRUE(eventually([&] { return rig.server.limits().leases() == 5; }));
    EXPECT_EQ(refusal(Tcp), "");
    EXPECT_EQ(rig.server.limits().leases(), 6u);
    for (auto& lease : raw) lease.context->TryCancel();
}

// A refusal reaches the journal once a minute for each caller and kind.
TEST(RefusalLog, EachCallerAndKindOnceAMinute) {
    auto now = std::chrono::steady_clock::time_point{};
    std::vector<std::string> lines;
    server::RefusalLog log([&](server::LogLevel, const std::string& text) { lines.push_back(text); },
                           [&] { return now; });
    struct Step {
        int second;
        const char* key;
        bool logged;
    };
    const Step steps[] = {{0, "10.0.0.5 control", true},   {1, "10.0.0.5 control", false},
                          {2, "10.0.0.6 control", true},   {3, "10.0.0.5 leases", true},
                          {59, "10.0.0.5 control", false}, {60, "10.0.0.5 control", true}};
    for (const Step& step : steps) {
        now = std::chrono::steady_clock::time_point{} + std::chrono::seconds(step.second);
        const std::size_t before = lines.size();
        log.refused(step.key, step.key);
        EXPECT_EQ(lines.size() - before, step.logged ? 1u : 0u) << step.second << " s: " << step.key;
    }
}

}  // namespace
}  // namespace kt64::test
