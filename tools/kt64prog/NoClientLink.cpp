// The logic-only build of kt64prog has no link-server client.
#include "CentreConnection.h"

namespace kt64::prog {

std::unique_ptr<program::CentreLink> connectCentre(const std::optional<std::string>&, std::ostream&) { return nullptr; }

}  // namespace kt64::prog
