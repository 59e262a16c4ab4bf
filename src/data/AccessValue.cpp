#include "data/AccessValue.h"

#include <cmath>

namespace fiscora {

namespace {

const QDate kEpoch(1899, 12, 30);

QString currencyText(qint64 scaled) {
    const bool negative = scaled < 0;
    // The magnitude as unsigned, so the most negative value does not overflow.
    const quint64 magnitude = negative ? quint64(0) - quint64(scaled) : quint64(scaled);
    QString text = QString::number(magnitude / 10000);
    quint64 fraction = magnitude % 10000;
    if (fraction) {
        QString digits = QStringLiteral("%1").arg(fraction, 4, 10, QLatin1Char('0'));
        while (digits.endsWith(QLatin1Char('0')))
            digits.chop(1);
        text += QLatin1Char('.') + digits;
    }
    return negative ? QLatin1Char('-') + text : text;
}

// Days and seconds of an Access date: the whole part counts days from 1899-12-30 (negative
// before it) and the fraction, whatever the sign of the whole part, is the time of day.
struct SplitDate {
    QDate date;
    int seconds = 0;
};

std::optional<SplitDate> splitDate(double days) {
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6)
        return std::nullopt;
    const double whole = std::trunc(days);
    const QDate date = kEpoch.addDays(qint64(whole));
    if (!date.isValid())
        return std::nullopt;
    return SplitDate{date, qMin(int(std::lround(std::fabs(days - whole) * 86400.0)), 86399)};
}

int rank(const jet::Value& value) {
    if (std::holds_alternative<std::monostate>(value))
        return 0;
    if (std::holds_alternative<QString>(value))
        return 2;
    return 1;
}

double number(const jet::Value& value) {
    if (const auto* b = std::get_if<bool>(&value))
        return *b ? -1.0 : 0.0; // Access keeps true as -1
    if (const auto* i = std::get_if<qint64>(&value))
        return double(*i);
    if (const auto* c = std::get_if<jet::Currency>(&value))
        return double(c->scaled) / 10000.0;
    if (const auto* d = std::get_if<double>(&value))
        return *d;
    if (const auto* t = std::get_if<jet::DateTime>(&value)) {
        // Chronological: before 1899-12-30 the fraction still counts forward from the day.
        const double whole = std::trunc(t->oleDays);
        return whole + std::fabs(t->oleDays - whole);
    }
    return 0.0;
}

} // namespace

QString AccessValue::toText(const jet::Value& value) {
    if (std::holds_alternative<std::monostate>(value))
        return QString();
    if (const auto* b = std::get_if<bool>(&value))
        return *b ? QStringLiteral("Verdadeiro") : QStringLiteral("Falso");
    if (const auto* i = std::get_if<qint64>(&value))
        return QString::number(*i);
    if (const auto* c = std::get_if<jet::Currency>(&value))
        return currencyText(c->scaled);
    if (const auto* d = std::get_if<double>(&value))
        return QString::number(*d, 'g', 15);
    if (const auto* t = std::get_if<jet::DateTime>(&value)) {
        const std::optional<SplitDate> split = splitDate(t->oleDays);
        if (!split)
            return QString::number(t->oleDays, 'g', 15);
        QString text = split->date.toString(QStringLiteral("dd/MM/yyyy"));
        if (split->seconds)
            text +=
                QLatin1Char(' ') + QTime(0, 0).addSecs(split->seconds).toString(QStringLiteral("HH:mm:ss"));
        return text;
    }
    return std::get<QString>(value);
}

std::optional<qint64> AccessValue::toInteger(const jet::Value& value) {
    if (const auto* i = std::get_if<qint64>(&value))
        return *i;
    if (const auto* c = std::get_if<jet::Currency>(&value)) {
        if (c->scaled % 10000 == 0)
            return c->scaled / 10000;
        return std::nullopt;
    }
    if (const auto* d = std::get_if<double>(&value)) {
        if (std::isfinite(*d) && std::trunc(*d) == *d && std::fabs(*d) < 9.0e15)
            return qint64(*d);
        return std::nullopt;
    }
    if (const auto* s = std::get_if<QString>(&value)) {
        bool ok = false;
        const qint64 parsed = s->trimmed().toLongLong(&ok);
        if (ok)
            return parsed;
    }
    return std::nullopt;
}

QDate AccessValue::toDate(const jet::DateTime& value) {
    const std::optional<SplitDate> split = splitDate(value.oleDays);
    return split ? split->date : QDate();
}

QDate AccessValue::toDate(const jet::Value& value) {
    if (const auto* t = std::get_if<jet::DateTime>(&value))
        return toDate(*t);
    return QDate();
}

bool AccessValue::lessThan(const jet::Value& a, const jet::Value& b) {
    const int ra = rank(a);
    const int rb = rank(b);
    if (ra != rb)
        return ra < rb;
    if (ra == 0)
        return false;
    if (ra == 2)
        return std::get<QString>(a).compare(std::get<QString>(b), Qt::CaseInsensitive) < 0;
    return number(a) < number(b);
}

} // namespace fiscora
