#include "core/UrlParts.h"

namespace fiscora {

namespace {

bool isDecimal(QStringView text) {
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

UrlParts SplitUrl(const QString& url) {
    UrlParts parts;
    QString s = url;

    // "://" at the very start still separates: the scheme is then empty.
    const qsizetype scheme = s.indexOf(QStringLiteral("://"));
    if (scheme >= 0) {
        parts.Scheme = s.left(scheme);
        s = s.mid(scheme + 3);
    }

    const qsizetype colon = s.indexOf(QLatin1Char(':'));
    const qsizetype slash = s.indexOf(QLatin1Char('/'));
    if (colon >= 0 && slash >= 0 && colon < slash) {
        parts.Host = s.left(colon);
        const QStringView portText = QStringView(s).mid(colon + 1, slash - colon - 1).trimmed();
        if (isDecimal(portText)) {
            bool ok = false;
            const int value = portText.toInt(&ok);
            parts.Port = ok && value <= 32767 ? value : UrlParts::kPortTooLarge;
        }
    } else if (slash >= 0) {
        parts.Host = s.left(slash);
    } else {
        parts.Host = s;
        parts.Path = QStringLiteral("/");
        return parts;
    }

    s = s.mid(slash);
    const qsizetype question = s.indexOf(QLatin1Char('?'));
    if (question >= 0) {
        parts.Path = s.left(question);
        parts.Query = s.mid(question + 1);
    } else {
        parts.Path = s;
    }
    return parts;
}

} // namespace fiscora
