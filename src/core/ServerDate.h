#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace fiscora {

// The zero of the date type (30/12/1899 00:00): earlier than any real date. What DataServidor
// holds before the server first answers.
QDateTime zeroDateTime();

// A date and time as the server writes it at a fixed position ("dd/MM/yyyy HH:mm:ss",
// "yyyy-MM-dd HH:mm:ss" and their usual variants; surrounding blanks ignored), as local time.
// Nothing when the text is none of them.
std::optional<QDateTime> parseServerDateTime(const QString& text);

} // namespace fiscora
