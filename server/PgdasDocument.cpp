#include "PgdasDocument.h"

#include <zlib.h>

namespace servidor {

namespace {

// Inflating costs time, not memory (the text is searched as it is produced): past this much a
// document is refused as one that cannot be read, rather than read in part.
constexpr qint64 kMaxInflatedTotal = qint64(64) << 20;
constexpr qsizetype kInflateChunk = 64 * 1024;
// How far back from "stream" its dictionary is looked for.
constexpr qsizetype kMaxDictionary = 64 * 1024;

qsizetype count(QByteArrayView haystack, QByteArrayView needle) {
    qsizetype n = 0;
    for (qsizetype at = haystack.indexOf(needle); at >= 0; at = haystack.indexOf(needle, at + needle.size()))
        ++n;
    return n;
}

// A byte that \w matches (ASCII letters, digits and "_"), as the month's \b sees it.
bool isWord(int c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

// Searches the document's text as it is produced, a byte at a time, for the two words and the
// first "MM/yyyy" standing alone (\b(0[1-9]|1[0-2])/\d{4}\b), keeping only the last few bytes.
class TextSearch {
public:
    void put(unsigned char c) {
        const unsigned char before = static_cast<unsigned char>(m_window >> 56);
        m_window = (m_window << 8) | c;
        ++m_seen;
        if ((m_window & 0xFFFFFFFFFFFFFFull) == word("Extrato"))
            extrato = true;
        if ((m_window & 0xFFFFFFFFFFFFull) == word("Recibo"))
            recibo = true;
        if (m_seen >= 8)
            month(1, m_seen >= 9 ? int(before) : -1, c);
    }

    void end() {
        if (m_seen >= 7)
            month(0, m_seen >= 8 ? int(byte(7)) : -1, -1);
    }

    bool extrato = false;
    bool recibo = false;
    QString reference;

private:
    static constexpr quint64 word(const char* text) {
        quint64 bits = 0;
        for (; *text; ++text)
            bits = (bits << 8) | static_cast<unsigned char>(*text);
        return bits;
    }

    unsigned char byte(int back) const { return static_cast<unsigned char>(m_window >> (8 * back)); }

    static bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

    // The seven bytes ending `last` bytes back, between the bytes left and right (-1: none).
    void month(int last, int left, int right) {
        if (!reference.isEmpty() || byte(last + 4) != '/' || isWord(left) || isWord(right))
            return;
        char text[7];
        for (int i = 0; i < 7; ++i)
            text[i] = char(byte(last + 6 - i));
        const bool digits = isDigit(uchar(text[0])) && isDigit(uchar(text[1])) && isDigit(uchar(text[3])) &&
                            isDigit(uchar(text[4])) && isDigit(uchar(text[5])) && isDigit(uchar(text[6]));
        const int mm = (text[0] - '0') * 10 + (text[1] - '0');
        if (digits && mm >= 1 && mm <= 12)
            reference = QString::fromLatin1(text, 7);
    }

    quint64 m_window = 0;
    qint64 m_seen = 0;
};

// The literal strings "( ... )" of one piece of PDF data, fed to the search in pieces, escapes
// resolved, each followed by a blank.
class LiteralStrings {
public:
    explicit LiteralStrings(TextSearch& text)
        : m_text(text) {}

    void feed(QByteArrayView data) {
        for (const char c : data)
            take(static_cast<unsigned char>(c));
    }

    // The data ended: a string left open still counts.
    void finish() {
        if (m_state == Escape)
            m_text.put('\\');
        else if (m_state == Octal)
            m_text.put(static_cast<unsigned char>(m_octal));
        if (m_state != Outside)
            m_text.put(' ');
        m_state = Outside;
    }

private:
    enum State { Outside, Inside, Escape, Octal };

    void take(unsigned char c) {
        switch (m_state) {
        case Outside:
            if (c == '(') {
                m_state = Inside;
                m_depth = 1;
            }
            return;
        case Escape:
            m_state = Inside;
            if (c >= '0' && c <= '7') {
                m_state = Octal;
                m_octal = c - '0';
                m_digits = 1;
            } else {
                m_text.put(c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c);
            }
            return;
        case Octal:
            if (c >= '0' && c <= '7') {
                m_octal = m_octal * 8 + (c - '0');
                if (++m_digits == 3) {
                    m_text.put(static_cast<unsigned char>(m_octal));
                    m_state = Inside;
                }
                return;
            }
            m_text.put(static_cast<unsigned char>(m_octal));
            m_state = Inside;
            break; // and c is a byte of the string
        case Inside:
            break;
        }
        if (c == '\\') {
            m_state = Escape;
        } else if (c == '(') {
            ++m_depth;
            m_text.put(c);
        } else if (c == ')' && --m_depth == 0) {
            m_text.put(' ');
            m_state = Outside;
        } else {
            m_text.put(c);
        }
    }

    TextSearch& m_text;
    State m_state = Outside;
    int m_depth = 0;
    int m_octal = 0;
    int m_digits = 0;
};

// A zlib header (CMF, FLG) that inflate would take: deflate, a window it knows, the check bits,
// no preset dictionary.
bool zlibHeader(QByteArrayView data) {
    if (data.size() < 2)
        return false;
    const auto cmf = static_cast<unsigned char>(data[0]);
    const auto flg = static_cast<unsigned char>(data[1]);
    return (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && (cmf * 256 + flg) % 31 == 0 && !(flg & 0x20);
}

// Whether a stream's bytes are Flate data to read: its dictionary names the filter, or it has a
// filter not named here (an indirect one, say) and its bytes start as zlib data. A stream without
// a filter is read with the file itself.
bool compressed(QByteArrayView dictionary, QByteArrayView data) {
    if (dictionary.contains("/FlateDecode"))
        return true;
    if (!dictionary.isNull() && !dictionary.contains("/Filter"))
        return false;
    return zlibHeader(data);
}

// Inflates one stream after another into the literal scan, with one inflate state and one buffer
// for the whole document: a file of many tiny streams costs about what its bytes cost.
class StreamInflater {
public:
    explicit StreamInflater(LiteralStrings& literals)
        : m_literals(literals)
        , m_buffer(kInflateChunk, Qt::Uninitialized) {
        m_ready = inflateInit(&m_stream) == Z_OK;
    }
    ~StreamInflater() {
        if (m_ready)
            inflateEnd(&m_stream);
    }
    StreamInflater(const StreamInflater&) = delete;
    StreamInflater& operator=(const StreamInflater&) = delete;

    // One stream to its end; false when it cannot be (damaged, cut short, or past what may
    // still be inflated).
    bool inflate(QByteArrayView data) {
        if (data.trimmed().isEmpty())
            return true; // an empty stream holds no text
        if (!m_ready || inflateReset(&m_stream) != Z_OK)
            return false;
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        m_stream.avail_in = static_cast<uInt>(data.size());
        int status = Z_OK;
        while (status == Z_OK && m_budget > 0) {
            m_stream.next_out = reinterpret_cast<Bytef*>(m_buffer.data());
            m_stream.avail_out = static_cast<uInt>(qMin<qint64>(m_buffer.size(), m_budget));
            const uInt room = m_stream.avail_out;
            status = ::inflate(&m_stream, Z_NO_FLUSH);
            const qsizetype produced = qsizetype(room - m_stream.avail_out);
            m_budget -= produced;
            m_literals.feed(QByteArrayView(m_buffer.constData(), produced));
            // No progress with input left means the data ended before the stream did.
            if (status == Z_BUF_ERROR || (status == Z_OK && produced == 0 && m_stream.avail_in == 0))
                break;
        }
        m_literals.finish();
        return status == Z_STREAM_END;
    }

private:
    LiteralStrings& m_literals;
    QByteArray m_buffer;
    z_stream m_stream{};
    bool m_ready = false;
    qint64 m_budget = kMaxInflatedTotal;
};

// The dictionary before a stream keyword: from its object's header ("N G obj") on; null when
// there is none near. It is looked for after `floor`, the end of the stream before (no object
// header behind that one can still be open), so the look back costs each byte once.
QByteArrayView dictionaryBefore(QByteArrayView pdf, qsizetype floor, qsizetype keyword) {
    const qsizetype from = qMax(floor, keyword - kMaxDictionary);
    const QByteArrayView window = pdf.sliced(from, keyword - from);
    for (qsizetype obj = window.lastIndexOf("obj"); obj > 0; obj = window.lastIndexOf("obj", obj - 1)) {
        const char before = window[obj - 1];
        if (before != ' ' && before != '\n' && before != '\r' && before != '\t')
            continue;
        // Past the end of an object: the keyword stands outside any.
        const QByteArrayView dictionary = window.sliced(obj);
        return dictionary.contains("endobj") || dictionary.contains("endstream") ? QByteArrayView()
                                                                                 : dictionary;
    }
    return {};
}

// Searches the document's text: the literal strings of the file, then those of its compressed
// streams. False when a compressed stream could not be read to its end.
bool searchText(QByteArrayView pdf, TextSearch& text) {
    LiteralStrings literals(text);
    literals.feed(pdf);
    literals.finish();
    StreamInflater inflater(literals);
    qsizetype floor = 0;
    bool whole = true;
    for (qsizetype at = pdf.indexOf("stream"); at >= 0; at = pdf.indexOf("stream", at + 6)) {
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
        const QByteArrayView data = pdf.sliced(start, end - start);
        if (compressed(dictionaryBefore(pdf, floor, at), data) && !inflater.inflate(data))
            whole = false;
        at = end;
        floor = end;
    }
    text.end();
    return whole;
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
    TextSearch text;
    const bool whole = searchText(pdf, text);
    if (text.extrato)
        verdict.refusals.append(kMarkerExtrato);
    if (text.recibo)
        verdict.refusals.append(kMarkerRecibo);
    if (!whole)
        verdict.refusals.append(kMarkerIlegivel);
    verdict.reference = text.reference;
    return verdict;
}

} // namespace servidor
