// The link server's configuration in the registry: the key
// HKEY_LOCAL_MACHINE\Software\Ardonis\Kt64Srv with
//   Port     REG_DWORD  serial port number n (device of COM<n>); 1 when
//                       missing or of another type, and then written as 1
//   RpcPort  REG_DWORD  TCP port the server listens on; 6464 when missing
// and, for a site that restricts remote access (all REG_SZ, all optional):
//   ListenAddress   the one address to listen on ("127.0.0.1": this
//                   computer only); every address when missing
//   AllowedClients  addresses and networks served (ClientFilter.h); every
//                   caller when missing or empty
//   TlsCertificate, TlsKey   the server's certificate chain and private key
//                   (PEM files): with both set the server speaks TLS only
//   TlsClientCA     CA certificates (PEM) that a client's certificate must
//                   chain to; with it every client must present one
//   MetricsAddress  where the metrics for a site's monitoring are served
//                   (ServerMetrics.h): off when missing or empty, "on" for
//                   this computer only; AllowedClients applies there too
//   TlsControlClients  common names (CN) of client certificates granted
//                   control from other computers, separated by commas;
//                   every other caller from the network only reads
// and Reflection (REG_DWORD, 1 = on): gRPC server reflection for generic
// tools; off when missing.
// The key is read through a read-only connection; it is created only to
// record a missing Port. The
// store is read at every call, so a value changed by an administrator (or by
// SetComPort in another process) counts from the next read.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace kt64::server {

inline constexpr std::uint32_t kDefaultPort = 1;

struct AccessSettings {
    std::string listenAddress;
    std::string allowedClients;
    std::string tlsCertificate, tlsKey, tlsClientCA;
    std::string metricsAddress;
    std::string controlClients;
    bool reflection = false;
};

// The names of TlsControlClients: separated by commas or semicolons,
// blanks around each trimmed, empty ones skipped (a name may hold blanks:
// "Sekretariat szkoły").
std::set<std::string> parseControlClients(std::string_view text);

class ServerConfig {
public:
    // SetComPort: writes Port. false when the key can neither be opened nor
    // created.
    bool writePort(std::uint32_t portNo);
    // GetComPort: Port; 1 when it is missing or not a REG_DWORD, written
    // then when this process may write the registry. nullopt when the
    // store cannot be read.
    std::optional<std::uint32_t> readPort();
    // The worker's port number at every open: readPort(), or -1 when the key
    // cannot be opened (that port then fails to open and is retried).
    int portForOpen();
    // RpcPort, 6464 when missing, of another type or out of the TCP range.
    // Throws reg::RegistryError when the store cannot be read: a server
    // must not listen on a port other than the one configured.
    std::uint16_t rpcPort();
    // The access values; throws reg::RegistryError when the store cannot be
    // read (a restriction that cannot be read must not fall back to none).
    AccessSettings access();
};

}  // namespace kt64::server
