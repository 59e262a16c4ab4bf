#include "PgdasDocument.h"

#include <QByteArray>
#include <QRegularExpression>

#include <zlib.h>

namespace servidor {

namespace {

// Bounds on what is inflated, so a crafted stream cannot take the server's memory.
constexpr qsizetype kMaxInflatedStream = 16 * 1024 * 1024;
constexpr qsizetype kMaxInflatedTotal = 64 * 1024 * 1024;

qsizetype count(QByteArrayView haystack, QByteArrayView needle) {
    qsizetype n = 0;
    for (qsizetype at = haystack.indexOf(needle); at >= 0; at = haystack.indexOf(needle, at + needle.size()))
        ++n;
    return n;
}

// A zlib stream inflated up to the limit; empty when it is not one.
QByteArray inflate(QByteArrayView data, qsizetype limit) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return {};
    QByteArray out;
    char buffer[64 * 1024];
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    int status = Z_OK;
    while (status == Z_OK && out.size() < limit) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof(buffer);
        status = ::inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END)
            break;
        out.append(buffer, static_cast<qsizetype>(sizeof(buffer) - stream.avail_out));
        if (stream.avail_in == 0 && status == Z_OK && stream.avail_out != 0)
            break;
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END || status == Z_OK ? out : QByteArray();
}

// The literal strings "( ... )" of PDF data, escapes resolved, joined by blanks.
void appendLiteralStrings(QByteArrayView data, QByteArray* text) {
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (data[i] != '(')
            continue;
        int depth = 1;
        QByteArray literal;
        qsizetype j = i + 1;
        for (; j < data.size() && depth > 0; ++j) {
            const char c = data[j];
            if (c == '\\' && j + 1 < data.size()) {
                const char e = data[++j];
                switch (e) {
                case 'n':
                    literal += '\n';
                    break;
                case 'r':
                    literal += '\r';
                    break;
                case 't':
                    literal += '\t';
                    break;
                default:
                    if (e >= '0' && e <= '7') {
                        int value = e - '0';
                        for (int k = 0;
                             k < 2 && j + 1 < data.size() && data[j + 1] >= '0' && data[j + 1] <= '7'; ++k)
                            value = value * 8 + (data[++j] - '0');
                        literal += static_cast<char>(value);
                    } else {
                        literal += e;
                    }
                }
                continue;
            }
            if (c == '(')
                ++depth;
            else if (c == ')' && --depth == 0)
                break;
            literal += c;
        }
        *text += literal + ' ';
        i = j;
    }
}

// The document's text: literal strings of the file and of its compressed streams.
QByteArray documentText(QByteArrayView pdf) {
    QByteArray text;
    appendLiteralStrings(pdf, &text);
    qsizetype inflated = 0;
    for (qsizetype at = pdf.indexOf("stream"); at >= 0 && inflated < kMaxInflatedTotal;
         at = pdf.indexOf("stream", at + 6)) {
        qsizetype start = at + 6;
        if (at >= 3 && pdf.sliced(at - 3, 3) == "end")
            continue;
        if (start < pdf.size() && pdf[start] == '\r')
            ++start;
        if (start >= pdf.size() || pdf[start] != '\n')
            continue;
        ++start;
        const qsizetype end = pdf.indexOf("endstream", start);
        if (end < 0)
            break;
        const QByteArray plain =
            inflate(pdf.sliced(start, end - start), qMin(kMaxInflatedStream, kMaxInflatedTotal - inflated));
        inflated += plain.size();
        appendLiteralStrings(plain, &text);
        at = end;
    }
    return text;
}

} // namespace

PgdasVerdict inspectPgdasDocument(QByteArrayView pdf) {
    PgdasVerdict verdict;
    // A linearized file ("fast web view") ends its first-page section with a %%EOF of its own.
    const qsizetype sections = pdf.indexOf("/Linearized") >= 0 ? 2 : 1;
    if (!pdf.startsWith("%PDF-") || count(pdf, "%%EOF") != sections)
        verdict.refusals.append(kMarkerModificado);
    if (!pdf.startsWith("%PDF-"))
        return verdict;
    const QString text = QString::fromLatin1(documentText(pdf));
    if (text.contains(QStringLiteral("Extrato")))
        verdict.refusals.append(kMarkerExtrato);
    if (text.contains(QStringLiteral("Recibo")))
        verdict.refusals.append(kMarkerRecibo);
    static const QRegularExpression kMonth(QStringLiteral("\\b(0[1-9]|1[0-2])/(\\d{4})\\b"));
    if (const QRegularExpressionMatch match = kMonth.match(text); match.hasMatch())
        verdict.reference = match.captured(0);
    return verdict;
}

} // namespace servidor
