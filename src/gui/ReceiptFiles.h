#pragma once

#include "core/Result.h"

#include <QStringList>

namespace fiscora {

class Platform;

// Opens the receipts kept as files (transmission/ReceiptKeeper) with the system's viewer, or says
// why none is opened.
void openReceiptFiles(Platform& platform, const Result<QStringList>& files);

} // namespace fiscora
