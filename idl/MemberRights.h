// The right each member of IKt64Srv needs, declared once, beside the
// interface. Two rights:
//   Read     what leaves the centre as it is: the getters, the waits for a
//            reading, the synchronisation time, a lease that only keeps
//            the server running;
//   Control  everything that changes the centre or the server: every put,
//            the port, pausing the link, the transfers, the hidden service
//            functions.
// A caller with Control may read too. Who has which right is the server's
// business (its listeners and certificates); this table says only what each
// member asks for. A member missing here needs Control, and a test checks
// that every member of the interface has its row, so one added later gets
// a right chosen by whoever adds it, never one by accident.
#pragma once

#include <string_view>

namespace kt64::ids {

enum class Right { Read, Control };

struct MemberRight {
    std::string_view member;  // the RPC's name, e.g. "PutGmtTime"
    Right right;
};

inline constexpr MemberRight kMemberRights[] = {
    {"GetSyncTime", Right::Read},
    {"GetSyncTimeStamped", Right::Read},
    {"SetComPort", Right::Control},
    {"GetComPort", Right::Read},
    {"WaitForDeviceRead", Right::Read},
    {"GetGmtTime", Right::Read},
    {"PutGmtTime", Right::Control},
    {"GetLocTime", Right::Read},
    {"PutLocTime", Right::Control},
    {"GetLineTime", Right::Read},
    {"PutLineTime", Right::Control},
    {"GetAlarmFlag", Right::Read},
    {"GetSetFlag", Right::Read},
    {"PutSetFlag", Right::Control},
    {"GetLocalOffset", Right::Read},
    {"PutLocalOffset", Right::Control},
    {"GetKeyTimeZL", Right::Read},
    {"PutKeyTimeZL", Right::Control},
    {"GetChangeTimeZL", Right::Read},
    {"PutChangeTimeZL", Right::Control},
    {"GetKeyTimeLZ", Right::Read},
    {"PutKeyTimeLZ", Right::Control},
    {"GetChangeTimeLZ", Right::Read},
    {"PutChangeTimeLZ", Right::Control},
    {"ComunicationEnable", Right::Control},
    {"GetSerialNum", Right::Read},
    {"PutSerialNum", Right::Control},
    {"GetBuildType", Right::Read},
    {"PutBuildType", Right::Control},
    {"GetLineDigitType", Right::Read},
    {"PutLineDigitType", Right::Control},
    {"PutChangeTimeOn", Right::Control},
    {"GetRozkazy", Right::Read},
    {"PutRozkazy", Right::Control},
    {"GetRozkazPos", Right::Read},
    {"StartGetRozkazy", Right::Control},
    {"GetRozkazRxPos", Right::Read},
    {"Lease", Right::Read},
};

// The right member needs; Control for a name the table does not have.
constexpr Right rightOf(std::string_view member) {
    for (const auto& row : kMemberRights)
        if (row.member == member) return row.right;
    return Right::Control;
}

}  // namespace kt64::ids
