#pragma once

#include <QDateTime>
#include <QString>

namespace fiscora {

// The zero of the date type (30/12/1899 00:00): earlier than any real date. What DataServidor
// holds before the server first answers.
QDateTime zeroDateTime();

// A date and time as the server writes it at a fixed position ("dd/MM/yyyy HH:mm:ss",
// "yyyy-MM-dd HH:mm:ss" and their usual variants; surrounding blanks ignored), as local time.
// False when the text is none of them.
bool parseServerDateTime(const QString& text, QDateTime* when);

} // namespace fiscora
