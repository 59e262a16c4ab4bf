#pragma once

#include "data/AccessReader.h"
#include "data/GiaDatabaseReader.h"

#include <QString>
#include <QStringList>

namespace servidor {

// The Access reader's jobs run to their end in the calling worker thread, under a loop of its
// own: a request's worker has nothing else to do while the helper reads.
fiscora::AccessReader::Reading readAccess(const QString& path, const QStringList& rowsOf);
// Every row of tblGIA.
fiscora::GiaDatabaseReader::Records readGias(const QString& path);

} // namespace servidor
