#pragma once

#include "jet/JetDatabase.h"

#include <QDate>
#include <QString>

#include <optional>

namespace fiscora {

// Conversions of values read from an Access file, as the program shows and compares them.
class AccessValue final {
public:
    // Null gives the empty text; numbers in plain notation with a point for decimals;
    // currency with as many decimals as it has (12345.67, 0.5, 10); dates as dd/mm/yyyy,
    // with hh:mm:ss when they hold a time; booleans as "Verdadeiro" or "Falso".
    static QString toText(const jet::Value& value);
    // A whole number: integers, currency and doubles without fraction, and texts that hold one.
    static std::optional<qint64> toInteger(const jet::Value& value);
    // The day of a date/time value; an invalid date for anything else.
    static QDate toDate(const jet::Value& value);
    static QDate toDate(const jet::DateTime& value);
    // Orders values as an ascending ORDER BY does: nulls first, then by value.
    static bool lessThan(const jet::Value& a, const jet::Value& b);
};

} // namespace fiscora
