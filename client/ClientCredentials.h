// How a client reaches a link server on another computer: plain TCP, or
// TLS with the files the caller gives or the registry names.
#pragma once

#include <memory>
#include <string>

namespace grpc {
class ChannelCredentials;
}

namespace kt64::client {

// TLS towards a server that requires it (its registry has TlsCertificate
// and TlsKey; with TlsClientCA it also requires a client certificate). PEM
// files; all empty means the registry values TlsServerCA,
// TlsClientCertificate and TlsClientKey under
// HKEY_LOCAL_MACHINE\Software\Ardonis\Kt64Srv, and plain TCP when those
// are missing too.
struct ClientTls {
    std::string serverCA;     // CA that the server's certificate chains to
    std::string certificate;  // this client's certificate chain
    std::string key;          // and its private key
    bool empty() const { return serverCA.empty() && certificate.empty() && key.empty(); }
};

// Plain TCP, or TLS with the files given (else those in the registry).
// Throws ServerError (E_INVALIDARG) for a file that cannot be read or a
// certificate without its key, reg::RegistryError when the registry cannot
// be read.
std::shared_ptr<grpc::ChannelCredentials> channelCredentials(ClientTls tls);

}  // namespace kt64::client
