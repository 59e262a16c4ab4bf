#pragma once

#include "core/Result.h"

#include <QStringList>

namespace fiscora {

struct Seams;

// Opens the receipts kept as files (transmission/ReceiptKeeper) with the system's viewer, or says
// why none is opened.
void openReceiptFiles(const Seams& seams, const Result<QStringList>& files);

} // namespace fiscora
