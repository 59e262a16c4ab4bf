#include "jet/JetDatabase.h"

#include "jet/JetWriter.h"
#include "jet/PageStore.h"

#include <QFileInfo>
#include <QSaveFile>

namespace fiscora::jet {

DateTime DateTime::fromDate(const QDate& date) {
    static const QDate epoch(1899, 12, 30);
    return DateTime{double(epoch.daysTo(date))};
}

bool writeDatabase(const QString& path, const Database& database, QString* error) {
    PageStore store;
    QString reason;
    if (!JetWriter::build(database, store, &reason)) {
        if (error)
            *error = reason;
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !store.writeTo(&file) || !file.commit()) {
        if (error)
            *error = QStringLiteral("Não foi possível gravar o arquivo %1: %2")
                         .arg(QFileInfo(path).fileName(), file.errorString());
        return false;
    }
    return true;
}

} // namespace fiscora::jet
