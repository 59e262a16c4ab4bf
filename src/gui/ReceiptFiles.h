#pragma once

#include "core/Result.h"

#include <QStringList>

namespace fiscora {

// Opens the receipts kept as files (transmission/ReceiptKeeper) with the system's viewer, or says
// why none is opened.
void openReceiptFiles(const Result<QStringList>& files);

} // namespace fiscora
