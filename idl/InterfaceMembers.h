// Every member of IKt64Srv, once: its RPC's name, request and answer
// messages, the right it needs, how it is called, and the call of the link
// server's automation object that serves it. The server's handlers, the
// client's calls and the tests' fake server are made from these rows by
// templates over the code generated from Kt64Srv.proto, so a new member is
// its RPC in the .proto, its row here, its function in the automation object
// and the client's named call.
//
// Two rights:
//   Read     what leaves the centre as it is: the getters, the waits for a
//            reading, the synchronisation time, a lease that only keeps
//            the server running;
//   Control  everything that changes the centre or the server: every put,
//            the port, pausing the link, the transfers, the hidden service
//            functions.
// A caller with Control may read too. Who has which right is the server's
// business (its listeners and certificates); a row says only what its member
// asks for. Every row must name its right, and a test checks that every
// member of the interface has its row, so one added later gets a right
// chosen by whoever adds it, never one by accident.
//
// The messages are only declared here: names and rights need no generated
// code, and a client's header that names a row does not pull it in.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>

namespace kt64::rpc {
// Generated from Kt64Srv.proto.
class Void;
class SyncTimeOut;
class SyncTimeStampedOut;
class ComPortIn;
class ComPortOut;
class ComunicationEnableIn;
class DateOut;
class DateIn;
class DoubleOut;
class DoubleIn;
class ULongOut;
class ULongIn;
class KeyChgOut;
class KeyChgIn;
class DigLineOut;
class DigLineIn;
class StringOut;
class StringIn;
class VariantOut;
class VariantIn;
class LeaseRequest;
class LeaseGrant;
}  // namespace kt64::rpc

namespace kt64::ids {

enum class Right { Read, Control };

// How a member is called.
enum class CallKind {
    Unary,   // one request, one answer, at once
    Wait,    // one request, one answer once the centre has been read (up to 5 s)
    Stream,  // a stream held open (the lease)
};

// The value of a VARIANT on the interface: its type (VARTYPE) and the bytes
// of its one-dimensional array.
struct VariantBytes {
    std::uint32_t vt = 0;
    std::span<const std::uint8_t> bytes;
};

// A member's name as a template argument.
template <std::size_t N>
struct MemberName {
    char text[N]{};
    consteval MemberName(const char (&name)[N]) { std::copy_n(name, N, text); }
    constexpr std::string_view view() const { return {text, N - 1}; }
};

template <MemberName Name, class RequestMessage, class AnswerMessage, Right NeededRight,
          CallKind Kind = CallKind::Unary>
struct Member {
    static constexpr std::string_view name = Name.view();
    using Request = RequestMessage;
    using Answer = AnswerMessage;
    static constexpr Right right = NeededRight;
    static constexpr CallKind kind = Kind;
};

template <class... Rows>
struct MemberList {
    static constexpr std::size_t size = sizeof...(Rows);

    // f.template operator()<Row>() for every row, in the table's order.
    template <class F>
    static constexpr void forEach(F&& f) {
        (f.template operator()<Rows>(), ...);
    }

    // The row's place in the table.
    template <class Row>
    static consteval std::size_t indexOf() {
        std::size_t index = 0;
        const bool found = ((std::is_same_v<Row, Rows> ? true : (++index, false)) || ...);
        return found ? index : size;
    }
};

}  // namespace kt64::ids

// The rows. call(srv, value) is the automation object's member that serves
// the RPC, given the request's value (none for a getter); members served
// otherwise (the wait and the lease) have none.
namespace kt64::members {

using ids::CallKind;
using ids::Member;
using ids::Right;

struct GetSyncTime : Member<"GetSyncTime", rpc::Void, rpc::SyncTimeOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetSyncTime(); }
};
struct GetSyncTimeStamped : Member<"GetSyncTimeStamped", rpc::Void, rpc::SyncTimeStampedOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetSyncTimeStamped(); }
};
struct SetComPort : Member<"SetComPort", rpc::ComPortIn, rpc::Void, Right::Control> {
    static auto call(auto& srv, auto PortNo) { return srv.SetComPort(PortNo); }
};
struct GetComPort : Member<"GetComPort", rpc::Void, rpc::ComPortOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetComPort(); }
};
struct WaitForDeviceRead : Member<"WaitForDeviceRead", rpc::Void, rpc::Void, Right::Read, CallKind::Wait> {};
struct GetGmtTime : Member<"GetGmtTime", rpc::Void, rpc::DateOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetGmtTime(); }
};
struct PutGmtTime : Member<"PutGmtTime", rpc::DateIn, rpc::Void, Right::Control> {
    static auto call(auto& srv, auto newVal) { return srv.PutGmtTime(newVal); }
};
struct GetLocTime : Member<"GetLocTime", rpc::Void, rpc::DateOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetLocTime(); }
};
struct PutLocTime : Member<"PutLocTime", rpc::DateIn, rpc::Void, Right::Control> {
    static auto call(auto& srv, auto newVal) { return srv.PutLocTime(newVal); }
};
struct GetLineTime : Member<"GetLineTime", rpc::Void, rpc::DateOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetLineTime(); }
};
struct PutLineTime : Member<"PutLineTime", rpc::DateIn, rpc::Void, Right::Control> {
    static auto call(auto& srv, auto newVal) { return srv.PutLineTime(newVal); }
};
struct GetAlarmFlag : Member<"GetAlarmFlag", rpc::Void, rpc::ULongOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetAlarmFlag(); }
};
struct GetSetFlag : Member<"GetSetFlag", rpc::Void, rpc::ULongOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetSetFlag(); }
};
struct PutSetFlag : Member<"PutSetFlag", rpc::ULongIn, rpc::Void, Right::Control> {
    static auto call(auto& srv, auto newVal) { return srv.PutSetFlag(newVal); }
};
struct GetLocalOffset : Member<"GetLocalOffset", rpc::Void, rpc::DoubleOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetLocalOffset(); }
};
struct PutLocalOffset : Member<"PutLocalOffset", rpc::DoubleIn, rpc::Void, Right::Control> {
    static auto call(auto& srv, auto newVal) { return srv.PutLocalOffset(newVal); }
};
struct GetKeyTimeZL : Member<"GetKeyTimeZL", rpc::Void, rpc::KeyChgOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetKeyTimeZL(); }
};
struct PutKeyTimeZL : Member<"PutKeyTimeZL", rpc::KeyChgIn, rpc::Void, Right::Control> {
    static auto call(auto& srv, auto newVal) { return srv.PutKeyTimeZL(newVal); }
};
struct GetChangeTimeZL : Member<"GetChangeTimeZL", rpc::Void, rpc::DateOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetChangeTimeZL(); }
};
struct PutChangeTimeZL : Member<"PutChangeTimeZL", rpc::DateIn, rpc::Void, Right::Control> {
    static auto call(auto& srv, auto newVal) { return srv.PutChangeTimeZL(newVal); }
};
struct GetKeyTimeLZ : Member<"GetKeyTimeLZ", rpc::Void, rpc::KeyChgOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetKeyTimeLZ(); }
};
struct PutKeyTimeLZ : Member<"PutKeyTimeLZ", rpc::KeyChgIn, rpc::Void, Right::Control> {
    static auto call(auto& srv, auto newVal) { return srv.PutKeyTimeLZ(newVal); }
};
struct GetChangeTimeLZ : Member<"GetChangeTimeLZ", rpc::Void, rpc::DateOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetChangeTimeLZ(); }
};
struct PutChangeTimeLZ : Member<"PutChangeTimeLZ", rpc::DateIn, rpc::Void, Right::Control> {
    static auto call(auto& srv, auto newVal) { return srv.PutChangeTimeLZ(newVal); }
};
struct ComunicationEnable : Member<"ComunicationEnable", rpc::ComunicationEnableIn, rpc::Void, Right::Control> {
    static auto call(auto& srv, auto Enabled) { return srv.ComunicationEnable(Enabled); }
};
struct GetSerialNum : Member<"GetSerialNum", rpc::Void, rpc::StringOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetSerialNum(); }
};
struct PutSerialNum : Member<"PutSerialNum", rpc::StringIn, rpc::Void, Right::Control> {
    static auto call(auto& srv, const auto& newVal) { return srv.PutSerialNum(newVal); }
};
struct GetBuildType : Member<"GetBuildType", rpc::Void, rpc::StringOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetBuildType(); }
};
struct PutBuildType : Member<"PutBuildType", rpc::StringIn, rpc::Void, Right::Control> {
    static auto call(auto& srv, const auto& newVal) { return srv.PutBuildType(newVal); }
};
struct GetLineDigitType : Member<"GetLineDigitType", rpc::Void, rpc::DigLineOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetLineDigitType(); }
};
struct PutLineDigitType : Member<"PutLineDigitType", rpc::DigLineIn, rpc::Void, Right::Control> {
    static auto call(auto& srv, auto newVal) { return srv.PutLineDigitType(newVal); }
};
struct PutChangeTimeOn : Member<"PutChangeTimeOn", rpc::ULongIn, rpc::Void, Right::Control> {
    static auto call(auto& srv, auto newVal) { return srv.PutChangeTimeOn(newVal); }
};
struct GetRozkazy : Member<"GetRozkazy", rpc::Void, rpc::VariantOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetRozkazy(); }
};
// The VARIANT's type and the bytes of its array.
struct PutRozkazy : Member<"PutRozkazy", rpc::VariantIn, rpc::Void, Right::Control> {
    static auto call(auto& srv, const auto& newVal) { return srv.PutRozkazy(newVal.vt, newVal.bytes); }
};
struct GetRozkazPos : Member<"GetRozkazPos", rpc::Void, rpc::ULongOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetRozkazPos(); }
};
struct StartGetRozkazy : Member<"StartGetRozkazy", rpc::Void, rpc::Void, Right::Control> {
    static auto call(auto& srv) { return srv.StartGetRozkazy(); }
};
struct GetRozkazRxPos : Member<"GetRozkazRxPos", rpc::Void, rpc::ULongOut, Right::Read> {
    static auto call(auto& srv) { return srv.GetRozkazRxPos(); }
};
struct Lease : Member<"Lease", rpc::LeaseRequest, rpc::LeaseGrant, Right::Read, CallKind::Stream> {};

using All =
    ids::MemberList<GetSyncTime, GetSyncTimeStamped, SetComPort, GetComPort, WaitForDeviceRead, GetGmtTime, PutGmtTime,
                    GetLocTime, PutLocTime, GetLineTime, PutLineTime, GetAlarmFlag, GetSetFlag, PutSetFlag,
                    GetLocalOffset, PutLocalOffset, GetKeyTimeZL, PutKeyTimeZL, GetChangeTimeZL, PutChangeTimeZL,
                    GetKeyTimeLZ, PutKeyTimeLZ, GetChangeTimeLZ, PutChangeTimeLZ, ComunicationEnable, GetSerialNum,
                    PutSerialNum, GetBuildType, PutBuildType, GetLineDigitType, PutLineDigitType, PutChangeTimeOn,
                    GetRozkazy, PutRozkazy, GetRozkazPos, StartGetRozkazy, GetRozkazRxPos, Lease>;

}  // namespace kt64::members
