#include "jet/JetDatabase.h"

#include "jet/JetWriter.h"
#include "jet/PageStore.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

namespace fiscora::jet {

namespace {

// Why a write failed, in Portuguese, from the system's error number (errno); fallback when the
// number is 0.
QString writeFailureText(int code, const QString& fallback) {
    switch (code) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("o disco está cheio (não há espaço livre para o arquivo).");
    case EFBIG:
        return QStringLiteral("o arquivo ficaria maior do que o sistema permite.");
    case 0:
        return fallback;
    default:
        return QString::fromLocal8Bit(std::strerror(code));
    }
}

} // namespace

DateTime DateTime::fromDate(const QDate& date) {
    static const QDate epoch(1899, 12, 30);
    return DateTime{double(epoch.daysTo(date))};
}

Status writeDatabase(const QString& path, const Database& database) {
    PageStore store;
    if (Status built = JetWriter::build(database, store); !built)
        return built;
    QSaveFile file(path);
    const auto fail = [&](int code) {
        return AppError::message(
            QStringLiteral("Não foi possível gravar o arquivo %1: %2")
                .arg(QFileInfo(path).fileName(), writeFailureText(code, file.errorString())));
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail(0);
    errno = 0;
    // The save file forgets its error when it gives up; errno still names the cause.
    if (!store.writeTo(&file)) {
        const int code = errno;
        file.cancelWriting();
        return fail(code);
    }
    if (!file.commit())
        return fail(errno);
    return {};
}

} // namespace fiscora::jet
