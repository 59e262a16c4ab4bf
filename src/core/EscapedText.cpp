#include "core/EscapedText.h"

namespace fiscora {

QString escapeControls(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0x2028 || u == 0x2029)
            out += QStringLiteral("\\x") + QString::number(u, 16).rightJustified(2, u'0').toUpper();
        else
            out += c;
    }
    return out;
}

} // namespace fiscora
