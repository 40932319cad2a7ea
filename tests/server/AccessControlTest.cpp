// Opt-in restriction of remote access, on loopback addresses only: a caller
// outside AllowedClients is refused with a clear error and logged; a server
// with TLS and client certificates serves only clients that present one
// signed by its CA. Certificates are made for each run with openssl.
#include <gtest/gtest.h>

#include <google/protobuf/descriptor.h>
#include <grpcpp/create_channel.h>
#include <grpcpp/generic/generic_stub.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "DeviceReadEvent.h"
#include "Kt64Client.h"
#include "Kt64Srv.grpc.pb.h"
#include "Kt64Srv.h"
#include "RpcServer.h"
#include "ServerConfig.h"
#include "SharedDevice.h"
#include "ShutdownMonitor.h"
#include "TestEnvironment.h"

namespace kt64::test {
namespace {

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
    std::unique_ptr<client::Kt64Srv> connect(client::ClientTls tls = {}) {
        client::ConnectOptions options;
        options.tls = std::move(tls);
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
    server::Kt64Srv srv{device, event, config};
    server::ShutdownMonitor leases{server::kIdleShutdown, [] {}};
    std::mutex mutex;
    std::vector<std::string> lines;
    server::RpcServer server;
};

TEST(AccessControl, CallersOutsideAllowedClientsAreRefusedAndLogged) {
    {
        AccessRig rig({server::ClientFilter::parse("127.0.0.2, 10.0.0.0/8"), {}, {}, {}, {}});
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
            grpc::ClientContext context;
            context.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(10));
            grpc::CompletionQueue queue;
            grpc::Slice empty("");  // every request type encodes its defaults as nothing
            grpc::ByteBuffer request(&empty, 1), response;
            grpc::Status status;
            auto call = stub.PrepareUnaryCall(&context, "/" + std::string(service->full_name()) + "/" + method->name(),
                                              request, &queue);
            call->StartCall();
            call->Finish(&response, &status, nullptr);
            void* tag = nullptr;
            bool ok = false;
            ASSERT_TRUE(queue.Next(&tag, &ok));
            EXPECT_EQ(status.error_code(), grpc::StatusCode::PERMISSION_DENIED) << method->name();
        }
    }
    AccessRig rig({server::ClientFilter::parse("127.0.0.0/8"), {}, {}, {}, {}});
    EXPECT_EQ(rig.connect()->GetComPort(), 1u);
    EXPECT_TRUE(rig.logged("lease taken by "));
}

// A CA, a server certificate for localhost/127.0.0.1 and a client
// certificate, all signed by the CA; and a second CA that signed nothing
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

TEST(AccessControl, TlsWithClientCertificatesServesOnlyCertifiedClients) {
    Certificates certs;
    ASSERT_TRUE(certs.made()) << "openssl (scripts/setup installs it) could not make the test certificates";
    AccessRig rig({{}, certs.file("server.pem"), certs.file("server.key"), certs.file("ca.pem"), {}});

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
        AccessRig rig({{}, missing, missing, {}, {}});
        ADD_FAILURE() << "listened without its certificate";
    } catch (const server::ListenError& e) {
        EXPECT_NE(std::string(e.what()).find("TlsKey " + missing + ": cannot be read"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace kt64::test
