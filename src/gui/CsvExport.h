#pragma once

#include "core/Result.h"
#include "core/Seams.h"

#include <QString>

#include <functional>

class QWidget;

namespace fiscora {

// The windows' "Exportar CSV": asks where (starting at `proposedName` in the home folder), writes
// with `write`, and tells the outcome; `exported` words the success, its %1 being the file.
void exportCsvFile(const Seams& seams, QWidget* parent, const QString& proposedName,
                   const std::function<Status(const QString&)>& write, const QString& exported);

} // namespace fiscora
