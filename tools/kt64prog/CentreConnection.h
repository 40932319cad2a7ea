// How kt64prog reaches the link server: with the link-server client
// (ClientLink.cpp) in the full build, or not at all in the logic-only build
// (NoClientLink.cpp), where send and receive are refused.
#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "CentreLink.h"

namespace kt64::prog {

// The link server on computer, else on the computer of the CompName
// setting, else on this one. A failed connection is reported on err and
// gives a link whose Connected() is false; nullptr without a client.
std::unique_ptr<program::CentreLink> connectCentre(const std::optional<std::string>& computer, std::ostream& err);

}  // namespace kt64::prog
