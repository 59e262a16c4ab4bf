#pragma once

#include <QStringView>

#include <vector>

namespace fiscora::jet {

// Index keys of text in Access's "General" sort order (the legacy one of Access 2000-2007):
// case-insensitive codes for the characters, then the accents, then the characters that sort
// as if absent (hyphen, apostrophe, control characters) with their positions. Characters of
// Latin-1 and the extra ones of Windows-1252 are known.
class GeneralSortOrder final {
public:
    static constexpr int MaxKeyChars = 255; // longer texts are indexed by their start

    // Appends the key of text (without the 0x7F flag that precedes every non-null column value).
    // False, with out unchanged, when text holds a character the table does not know.
    static bool appendKey(QStringView text, std::vector<quint8>& out);
    static bool supports(QStringView text);
};

} // namespace fiscora::jet
