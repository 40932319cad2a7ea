// The right each member of IKt64Srv needs, as a list of names: the rights
// themselves are declared in the member table (InterfaceMembers.h), row by
// row, and this is that column, for checks by a member's name.
#pragma once

#include <array>
#include <string_view>

#include "InterfaceMembers.h"

namespace kt64::ids {

struct MemberRight {
    std::string_view member;  // the RPC's name, e.g. "PutGmtTime"
    Right right;
};

template <class... Rows>
constexpr std::array<MemberRight, sizeof...(Rows)> rightsOf(MemberList<Rows...>) {
    return {MemberRight{Rows::name, Rows::right}...};
}

inline constexpr auto kMemberRights = rightsOf(members::All{});

// The right member needs; Control for a name the table does not have.
constexpr Right rightOf(std::string_view member) {
    for (const auto& row : kMemberRights)
        if (row.member == member) return row.right;
    return Right::Control;
}

}  // namespace kt64::ids
