#pragma once

#include "core/MessageBox.h"
#include "data/LocalDatabase.h"

namespace fiscora {

// Shows the report in a box (OK, no icon, title "fiscora").
void showDatabaseError(MessageBox& messages, const AppError& failure,
                       const QList<AppError>& providerErrors = {}, bool fullForm = false);

} // namespace fiscora
