#include "ClientCredentials.h"

#include <grpcpp/security/credentials.h>

#include <stdexcept>

#include "ChannelSettings.h"
#include "Kt64SrvIds.h"
#include "Registry.h"
#include "ServerError.h"

namespace kt64::client {

namespace {

std::string readPem(const char* what, const std::string& path) {
    try {
        return rpc::readPemFile(what, path);
    } catch (const std::runtime_error& e) {
        throw ServerError(E_INVALIDARG, e.what());
    }
}

}  // namespace

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

}  // namespace kt64::client
