#pragma once

#include "data/AccountantTable.h"

#include <optional>

namespace fiscora {

struct Services;

class Session;

// The accountant whose certificate every transmission asks for: his row, or nothing once the
// reason is shown (the database report; without a registered accountant, the message and his
// window, in front).
std::optional<Accountant> transmissionAccountant(Session& session, const Services& services);

} // namespace fiscora
