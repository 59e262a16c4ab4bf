#pragma once

#include "data/AccountantTable.h"

#include <functional>
#include <optional>

namespace fiscora {

struct Services;

// The accountant whose certificate every transmission asks for: his row, or nothing once the
// reason is shown (the database report; without a registered accountant, the message and his
// window, in front). `opening` runs just before that window is shown: its opening gives the main
// window back.
std::optional<Accountant> transmissionAccountant(const Services& services,
                                                 const std::function<void()>& opening);

} // namespace fiscora
