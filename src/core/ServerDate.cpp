#include "core/ServerDate.h"

#include <QStringList>

namespace fiscora {

QDateTime zeroDateTime() {
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0));
}

std::optional<QDateTime> parseServerDateTime(const QString& text) {
    static const QStringList formats = {
        QStringLiteral("dd/MM/yyyy HH:mm:ss"), QStringLiteral("yyyy-MM-dd HH:mm:ss"),
        QStringLiteral("yyyy-MM-ddTHH:mm:ss"), QStringLiteral("dd-MM-yyyy HH:mm:ss"),
        QStringLiteral("yyyy/MM/dd HH:mm:ss"), QStringLiteral("d/M/yyyy H:mm:ss"),
        QStringLiteral("dd/MM/yyyy HH:mm"),    QStringLiteral("yyyy-MM-dd HH:mm"),
        QStringLiteral("dd/MM/yyyy"),          QStringLiteral("yyyy-MM-dd"),
    };
    const QString trimmed = text.trimmed();
    for (const QString& format : formats) {
        const QDateTime parsed = QDateTime::fromString(trimmed, format);
        if (parsed.isValid())
            return parsed;
    }
    return std::nullopt;
}

} // namespace fiscora
