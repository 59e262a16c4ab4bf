// The uploads' multipart parser. The library's own one is not used: it wants a CRLF after the
// closing delimiter, which the program does not send, and it accepts more than one part.
#include "MultipartBody.h"

#include <QList>

namespace servidor {

namespace {

const QByteArray kCrlf("\r\n");

bool fail(QString* error, const QString& text) {
    *error = text;
    return false;
}

bool validBoundary(const QByteArray& boundary) {
    // RFC 2046: 1 to 70 characters of a restricted set, not ending in a blank.
    static const QByteArray kAllowed("'()+_,-./:=? ");
    if (boundary.isEmpty() || boundary.size() > 70 || boundary.endsWith(' '))
        return false;
    for (const char c : boundary) {
        const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!alnum && !kAllowed.contains(c))
            return false;
    }
    return true;
}

// The value of `name="..."` in a Content-Disposition line; false when absent or unterminated.
bool quotedParameter(QByteArrayView line, QByteArrayView name, QByteArray* value) {
    const QByteArray key = QByteArray("; ") + name.toByteArray() + "=\"";
    const qsizetype start = line.indexOf(key);
    if (start < 0)
        return false;
    const qsizetype from = start + key.size();
    const qsizetype end = line.indexOf('"', from);
    if (end < 0)
        return false;
    *value = line.sliced(from, end - from).toByteArray();
    return true;
}

} // namespace

QByteArray multipartBoundary(const QByteArray& contentType) {
    const QByteArray lower = contentType.toLower();
    if (!lower.startsWith("multipart/form-data"))
        return {};
    QByteArrayView rest = QByteArrayView(contentType).sliced(qsizetype(sizeof("multipart/form-data") - 1));
    while (!rest.isEmpty()) {
        if (rest.front() != ',' && rest.front() != ';')
            return {};
        rest = rest.sliced(1).trimmed();
        qsizetype end = 0;
        while (end < rest.size() && rest[end] != ',' && rest[end] != ';')
            ++end;
        const QByteArrayView parameter = rest.first(end).trimmed();
        rest = rest.sliced(end);
        if (parameter.size() > 9 && parameter.first(9).toByteArray().toLower() == "boundary=") {
            QByteArray value = parameter.sliced(9).toByteArray();
            if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
                value = value.mid(1, value.size() - 2);
            return value;
        }
    }
    return {};
}

bool parseSingleFileUpload(const QByteArray& contentType, const QByteArray& body, MultipartFile* file,
                           QString* error) {
    const QByteArray boundary = multipartBoundary(contentType);
    if (!validBoundary(boundary))
        return fail(error, QStringLiteral("Content-Type sem multipart/form-data com boundary válido."));
    const QByteArray opening = "--" + boundary + kCrlf;
    if (!body.startsWith(opening))
        return fail(error, QStringLiteral("O corpo não começa pelo delimitador do boundary."));

    // Part headers, up to the empty line.
    const qsizetype headersStart = opening.size();
    const qsizetype headersEnd = body.indexOf(QByteArrayView("\r\n\r\n"), headersStart - 2);
    if (headersEnd < 0)
        return fail(error, QStringLiteral("Cabeçalhos da parte sem linha vazia ao final."));
    const QList<QByteArray> lines = headersEnd > headersStart
                                        ? body.sliced(headersStart, headersEnd - headersStart).split('\n')
                                        : QList<QByteArray>();
    bool haveDisposition = false;
    *file = MultipartFile();
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            return fail(error, QStringLiteral("Cabeçalho da parte malformado."));
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "content-disposition") {
            if (haveDisposition || !value.startsWith("form-data;"))
                return fail(error, QStringLiteral("Content-Disposition da parte inválido."));
            const QByteArray parameters = value.mid(9);
            if (!quotedParameter(parameters, "name", &file->fieldName) ||
                !quotedParameter(parameters, "filename", &file->fileName))
                return fail(error, QStringLiteral("A parte não traz name e filename."));
            haveDisposition = true;
        } else if (name == "content-type") {
            file->contentType = value;
        }
    }
    if (!haveDisposition || file->fieldName.isEmpty())
        return fail(error, QStringLiteral("A parte não traz Content-Disposition com o nome do campo."));

    // The content runs to the first delimiter, which must be the closing one, at the end.
    const qsizetype contentStart = headersEnd + 4;
    const QByteArray delimiter = kCrlf + "--" + boundary;
    const qsizetype contentEnd = body.indexOf(delimiter, contentStart);
    if (contentEnd < 0)
        return fail(error, QStringLiteral("O corpo não termina pelo delimitador de fechamento."));
    const QByteArrayView after = QByteArrayView(body).sliced(contentEnd + delimiter.size());
    if (!after.startsWith("--"))
        return fail(error, QStringLiteral("O corpo traz mais de uma parte; só um arquivo é aceito."));
    const QByteArrayView epilogue = after.sliced(2);
    if (!epilogue.isEmpty() && epilogue != kCrlf)
        return fail(error, QStringLiteral("Há dados depois do delimitador de fechamento."));
    file->content = QByteArrayView(body).sliced(contentStart, contentEnd - contentStart);
    return true;
}

} // namespace servidor
