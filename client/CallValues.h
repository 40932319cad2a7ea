// What each message of IKt64Srv is on the client's side: the C++ value a
// call takes or answers, by message type (the member table gives each
// member its messages). Needs no generated code, so the client's header can
// name its calls without pulling the generated code into every client.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "InterfaceMembers.h"
#include "OleDate.h"
#include "StampedSyncTime.h"

namespace kt64::rpc {
// The interface's enumerations, declared as the generated code defines them.
enum EKeyChg : int;
enum EDigLine : int;
}  // namespace kt64::rpc

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

template <class Message>
struct CallValueOf;
template <class Message>
using CallValue = typename CallValueOf<Message>::type;

// clang-format off
template <> struct CallValueOf<rpc::Void> { using type = void; };
template <> struct CallValueOf<rpc::SyncTimeOut> { using type = DATE; };
template <> struct CallValueOf<rpc::SyncTimeStampedOut> { using type = link::StampedSyncTime; };
template <> struct CallValueOf<rpc::ComPortIn> { using type = std::uint32_t; };
template <> struct CallValueOf<rpc::ComPortOut> { using type = std::uint32_t; };
template <> struct CallValueOf<rpc::ComunicationEnableIn> { using type = std::uint32_t; };
template <> struct CallValueOf<rpc::DateOut> { using type = DATE; };
template <> struct CallValueOf<rpc::DateIn> { using type = DATE; };
template <> struct CallValueOf<rpc::DoubleOut> { using type = double; };
template <> struct CallValueOf<rpc::DoubleIn> { using type = double; };
template <> struct CallValueOf<rpc::ULongOut> { using type = std::uint32_t; };
template <> struct CallValueOf<rpc::ULongIn> { using type = std::uint32_t; };
template <> struct CallValueOf<rpc::KeyChgOut> { using type = EKeyChg; };
template <> struct CallValueOf<rpc::KeyChgIn> { using type = EKeyChg; };
template <> struct CallValueOf<rpc::DigLineOut> { using type = EDigLine; };
template <> struct CallValueOf<rpc::DigLineIn> { using type = EDigLine; };
template <> struct CallValueOf<rpc::StringOut> { using type = std::string; };
template <> struct CallValueOf<rpc::StringIn> { using type = std::string_view; };
template <> struct CallValueOf<rpc::VariantOut> { using type = VariantArray; };
template <> struct CallValueOf<rpc::VariantIn> { using type = ids::VariantBytes; };
// clang-format on

}  // namespace kt64::client
