// The client side of IKt64Srv that every client program uses: ConnectServer
// and the client object, ServerProxy, the proxy of the link server's
// automation object.
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
#include <type_traits>
#include <vector>

#include "CallCancellation.h"
#include "ClientCredentials.h"
#include "CallValues.h"
#include "HResult.h"
#include "OleDate.h"
#include "ServerAddress.h"
#include "ServerError.h"
#include "StampedSyncTime.h"

namespace kt64::client {

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

class ServerProxy {
public:
    ~ServerProxy();  // releases the lease (waits at most about 1 s)
    ServerProxy(const ServerProxy&) = delete;
    ServerProxy& operator=(const ServerProxy&) = delete;

    const ServerAddress& address() const noexcept;
    // Whether a lease is held now. One that ends while the object lives (its
    // connection dropped, the server restarted) is taken anew at once.
    bool leaseHeld() const;

    // The members, each a call of its row in the member table.
    DATE GetSyncTime() { return call<members::GetSyncTime>(); }
    // GetSyncTime with the frame's stamps (a member added to the interface).
    StampedSyncTime GetSyncTimeStamped();
    void SetComPort(std::uint32_t PortNo) { call<members::SetComPort>(PortNo); }
    std::uint32_t GetComPort() { return call<members::GetComPort>(); }
    void WaitForDeviceRead() { call<members::WaitForDeviceRead>(); }

    DATE GetGmtTime() { return call<members::GetGmtTime>(); }
    void PutGmtTime(DATE newVal) { call<members::PutGmtTime>(newVal); }
    DATE GetLocTime() { return call<members::GetLocTime>(); }
    void PutLocTime(DATE newVal) { call<members::PutLocTime>(newVal); }
    DATE GetLineTime() { return call<members::GetLineTime>(); }
    void PutLineTime(DATE newVal) { call<members::PutLineTime>(newVal); }
    std::uint32_t GetAlarmFlag() { return call<members::GetAlarmFlag>(); }  // FAlarm bits
    std::uint32_t GetSetFlag() { return call<members::GetSetFlag>(); }      // FSet bits
    void PutSetFlag(std::uint32_t newVal) { call<members::PutSetFlag>(newVal); }
    double GetLocalOffset() { return call<members::GetLocalOffset>(); }  // days
    void PutLocalOffset(double newVal) { call<members::PutLocalOffset>(newVal); }
    EKeyChg GetKeyTimeZL() { return call<members::GetKeyTimeZL>(); }
    void PutKeyTimeZL(EKeyChg newVal) { call<members::PutKeyTimeZL>(newVal); }
    DATE GetChangeTimeZL() { return call<members::GetChangeTimeZL>(); }
    void PutChangeTimeZL(DATE newVal) { call<members::PutChangeTimeZL>(newVal); }
    EKeyChg GetKeyTimeLZ() { return call<members::GetKeyTimeLZ>(); }
    void PutKeyTimeLZ(EKeyChg newVal) { call<members::PutKeyTimeLZ>(newVal); }
    DATE GetChangeTimeLZ() { return call<members::GetChangeTimeLZ>(); }
    void PutChangeTimeLZ(DATE newVal) { call<members::PutChangeTimeLZ>(newVal); }

    void ComunicationEnable(std::uint32_t Enabled) { call<members::ComunicationEnable>(Enabled); }

    std::string GetSerialNum() { return call<members::GetSerialNum>(); }
    void PutSerialNum(std::string_view newVal) { call<members::PutSerialNum>(newVal); }
    std::string GetBuildType() { return call<members::GetBuildType>(); }
    void PutBuildType(std::string_view newVal) { call<members::PutBuildType>(newVal); }
    EDigLine GetLineDigitType() { return call<members::GetLineDigitType>(); }
    void PutLineDigitType(EDigLine newVal) { call<members::PutLineDigitType>(newVal); }
    void PutChangeTimeOn(std::uint32_t newVal) { call<members::PutChangeTimeOn>(newVal); }

    // The downloaded command list with the server's VARTYPE, for the caller
    // to check (the console refuses anything but 0x2011 with 2905 bytes).
    VariantArray GetRozkazy() { return call<members::GetRozkazy>(); }
    // Starts an upload; vt other than kVtArrayUi1 is sent as given (and
    // refused by the server).
    void PutRozkazy(std::span<const std::uint8_t> image, std::uint32_t vt = kVtArrayUi1) {
        call<members::PutRozkazy>(ids::VariantBytes{vt, image});
    }
    std::uint32_t GetRozkazPos() { return call<members::GetRozkazPos>(); }
    void StartGetRozkazy() { call<members::StartGetRozkazy>(); }
    std::uint32_t GetRozkazRxPos() { return call<members::GetRozkazRxPos>(); }

private:
    // A getter's or an action's call: the answer's value, if any.
    template <class Row>
    CallValue<typename Row::Answer> call() {
        using Answer = CallValue<typename Row::Answer>;
        if constexpr (std::is_void_v<Answer>) {
            invoke(members::All::indexOf<Row>(), nullptr, nullptr);
        } else {
            Answer value{};
            invoke(members::All::indexOf<Row>(), nullptr, &value);
            return value;
        }
    }
    // A setter's call.
    template <class Row>
    void call(const CallValue<typename Row::Request>& newVal) {
        invoke(members::All::indexOf<Row>(), &newVal, nullptr);
    }
    // Calls the table's row number row with the request's value at in and
    // the answer's at out (nullptr where the message has none), each of the
    // CallValue type of the row's message: call() above makes them so, and
    // the definition needs the generated code this header keeps out.
    void invoke(std::size_t row, const void* in, void* out);

    struct Impl;
    explicit ServerProxy(std::unique_ptr<Impl> impl);
    friend std::unique_ptr<ServerProxy> ConnectServer(std::string_view, const ConnectOptions&);

    std::unique_ptr<Impl> impl_;
};

// A server started a moment ago answers every status getter with "no
// error" (E_KT64_NOERROR) until its worker has finished the first exchange
// with the centre. Waits for that exchange when it is still to come (at most
// the server's own wait), so that the caller's readings show the centre.
// Throws ServerError when there is no connection; the server's other
// refusals (port, silent centre, pause) are left for the caller's readings.
void awaitFirstExchange(ServerProxy& server);

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
std::unique_ptr<ServerProxy> ConnectServer(std::string_view computer, const ConnectOptions& options = {});

}  // namespace kt64::client
