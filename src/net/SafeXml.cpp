#include "net/SafeXml.h"

#include <QDomDocument>
#include <QXmlStreamReader>

namespace fiscora {

namespace {

// One streaming pass, as the tree's own parser reads (no namespace processing).
template <typename Text> bool acceptable(const Text& text, QString* reason) {
    QXmlStreamReader reader(text);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            if (!reader.dtdSystemId().isEmpty() || !reader.dtdPublicId().isEmpty()) {
                *reason =
                    QStringLiteral("O documento faz referência a conteúdo externo, que não é carregado.");
                return false;
            }
            for (const QXmlStreamEntityDeclaration& entity : reader.entityDeclarations()) {
                if (!entity.systemId().isEmpty() || !entity.publicId().isEmpty()) {
                    *reason =
                        QStringLiteral("O documento faz referência a conteúdo externo, que não é carregado.");
                    return false;
                }
            }
            break;
        case QXmlStreamReader::StartElement:
            if (++depth > SafeXml::kMaxDepth) {
                *reason =
                    QStringLiteral("O documento tem mais de %1 níveis de elementos.").arg(SafeXml::kMaxDepth);
                return false;
            }
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    if (reader.hasError()) {
        *reason = reader.errorString();
        return false;
    }
    return true;
}

} // namespace

Status SafeXml::check(const QByteArray& bytes) {
    QString reason;
    if (!acceptable(bytes, &reason))
        return AppError{0, QStringLiteral("SafeXml"), reason};
    return {};
}

bool SafeXml::parse(const QString& text, QDomDocument* document, QString* reason) {
    *document = QDomDocument();
    if (!acceptable(text, reason))
        return false;
    QString message;
    int line = 0;
    int column = 0;
    if (!document->setContent(text, false, &message, &line, &column)) {
        // A failed parse leaves no document, not the part read before the error.
        *document = QDomDocument();
        *reason = message;
        return false;
    }
    return true;
}

} // namespace fiscora
