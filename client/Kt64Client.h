// The client side of IKt64Srv: ConnectServer and the Kt64Srv client object
// that every client program uses.
//
// Creating the object (ConnectServer) opens a lease on the server, held
// until the object is destroyed (taken anew on a new connection whenever the
// old one drops); a local server ends about 5 s after its last lease. When
// the computer is this one, nothing answers and a local server is
// registered, ConnectServer starts it (or, when it is installed as a
// service, has systemd start the service) and waits for it. Each
// member returns the value or throws ServerError: the server's error object
// (HRESULT and Polish description), or a description-less failure of the
// connection. Every call has a deadline, so no caller freezes when the
// server or the network dies. Members may be called from several threads.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "CallCancellation.h"
#include "HResult.h"
#include "Kt64Srv.pb.h"
#include "OleDate.h"
#include "ServerAddress.h"
#include "ServerError.h"
#include "StampedSyncTime.h"

namespace kt64::client {

using rpc::EDigLine;
using rpc::EKeyChg;

// VARTYPE of the command-list container: VT_ARRAY | VT_UI1.
inline constexpr std::uint32_t kVtArrayUi1 = 0x2011;

// A VARIANT holding a one-dimensional byte array (lower bound 0).
struct VariantArray {
    std::uint32_t vt = kVtArrayUi1;
    std::vector<std::uint8_t> bytes;
};

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

struct ConnectOptions {
    // Deadline of every call but WaitForDeviceRead.
    std::chrono::milliseconds callTimeout{5000};
    // WaitForDeviceRead: the server waits up to 5000 ms, plus a margin.
    std::chrono::milliseconds waitTimeout{8000};
    // Time for a running server to grant the lease.
    std::chrono::milliseconds connectTimeout{5000};
    // Time for a server started on demand to grant the lease.
    std::chrono::milliseconds activationTimeout{5000};
    // The lease holder's name in the server's log; "" = program name, pid, host.
    std::string clientName;
    // Starts the registered service unit for an on-demand start (throws
    // ServerError); empty: StartUnit through systemd on the system bus.
    std::function<void(const std::string& unit, std::chrono::milliseconds timeout)> startService;
    // When given, cancel() on it ends the connection attempt and every call
    // of the object at once (E_RPC_CALL_CANCELED).
    std::shared_ptr<CallCancellation> cancellation;
    ClientTls tls;
    // This computer's server through TCP, as another computer reaches it
    // (read only), instead of its local socket: for tests and diagnostics
    // of what other computers see.
    bool viaTcp = false;
};

// GetSyncTimeStamped's answer as the server sent it, and this process's
// monotonic clock just before the call went out and just after the answer
// came.
struct StampedSyncTime : link::StampedSyncTime {
    std::chrono::steady_clock::time_point sent;
    std::chrono::steady_clock::time_point received;
};

class Kt64Srv {
public:
    ~Kt64Srv();  // releases the lease (waits at most about 1 s)
    Kt64Srv(const Kt64Srv&) = delete;
    Kt64Srv& operator=(const Kt64Srv&) = delete;

    const ServerAddress& address() const noexcept;
    // Whether a lease is held now. One that ends while the object lives (its
    // connection dropped, the server restarted) is taken anew at once.
    bool leaseHeld() const;

    DATE GetSyncTime();
    // GetSyncTime with the frame's stamps (a member added to the interface).
    StampedSyncTime GetSyncTimeStamped();
    void SetComPort(std::uint32_t PortNo);
    std::uint32_t GetComPort();
    void WaitForDeviceRead();

    DATE GetGmtTime();
    void PutGmtTime(DATE newVal);
    DATE GetLocTime();
    void PutLocTime(DATE newVal);
    DATE GetLineTime();
    void PutLineTime(DATE newVal);
    std::uint32_t GetAlarmFlag();  // FAlarm bits
    std::uint32_t GetSetFlag();    // FSet bits
    void PutSetFlag(std::uint32_t newVal);
    double GetLocalOffset();  // days
    void PutLocalOffset(double newVal);
    EKeyChg GetKeyTimeZL();
    void PutKeyTimeZL(EKeyChg newVal);
    DATE GetChangeTimeZL();
    void PutChangeTimeZL(DATE newVal);
    EKeyChg GetKeyTimeLZ();
    void PutKeyTimeLZ(EKeyChg newVal);
    DATE GetChangeTimeLZ();
    void PutChangeTimeLZ(DATE newVal);

    void ComunicationEnable(std::uint32_t Enabled);

    std::string GetSerialNum();
    void PutSerialNum(std::string_view newVal);
    std::string GetBuildType();
    void PutBuildType(std::string_view newVal);
    EDigLine GetLineDigitType();
    void PutLineDigitType(EDigLine newVal);
    void PutChangeTimeOn(std::uint32_t newVal);

    // The downloaded command list with the server's VARTYPE, for the caller
    // to check (the console refuses anything but 0x2011 with 2905 bytes).
    VariantArray GetRozkazy();
    // Starts an upload; vt other than kVtArrayUi1 is sent as given (and
    // refused by the server).
    void PutRozkazy(std::span<const std::uint8_t> image, std::uint32_t vt = kVtArrayUi1);
    std::uint32_t GetRozkazPos();
    void StartGetRozkazy();
    std::uint32_t GetRozkazRxPos();

private:
    struct Impl;
    explicit Kt64Srv(std::unique_ptr<Impl> impl);
    friend std::unique_ptr<Kt64Srv> ConnectServer(std::string_view, const ConnectOptions&);

    std::unique_ptr<Impl> impl_;
};

// A server started a moment ago answers every status getter with "no
// error" (E_KT64_NOERROR) until its worker has finished the first exchange
// with the centre. Waits for that exchange when it is still to come (at most
// the server's own wait), so that the caller's readings show the centre.
// Throws ServerError when there is no connection; the server's other
// refusals (port, silent centre, pause) are left for the caller's readings.
void awaitFirstExchange(Kt64Srv& server);

// Connects to the link server on computer ("" or this computer's name for
// the local one; "NAME:PORT" for another port than RpcPort) and returns a
// client object holding a lease. This computer's server is reached through
// its local sockets (LocalSockets.h): the control socket when this user may
// open it (root, the group kt64), else the read socket; another computer's
// through TCP (read, or control with a granted client certificate). Throws ServerError without description
// when no server can be reached: E_RPC_SERVER_UNAVAILABLE or E_RPC_TIMEOUT,
// E_CLASS_NOT_REGISTERED (local, nothing listens, no server registered),
// E_SERVER_EXEC_FAILURE (local server not started, or started but did not
// answer in time), E_SCM_RPC_FAILURE (registered as a service, systemd
// unreachable), E_SERVICE_DOES_NOT_EXIST, E_SERVICE_DISABLED or
// E_ACCESSDENIED (systemd refused the start),
// E_INVALIDARG for a computer text that names no server.
std::unique_ptr<Kt64Srv> ConnectServer(std::string_view computer, const ConnectOptions& options = {});

}  // namespace kt64::client
