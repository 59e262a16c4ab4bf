#pragma once

#include <QString>

namespace fiscora {

// Text for a place where one line is one record (a log line, a listing, a message): control
// characters (C0, DEL, C1) and the Unicode line and paragraph separators written as \xHH, their
// code in capital hexadecimal, so whatever a file or a request held stays on its line.
QString escapeControls(const QString& text);

} // namespace fiscora
