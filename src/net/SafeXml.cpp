#include "net/SafeXml.h"

#include <QDomDocument>
#include <QXmlStreamReader>

namespace fiscora {

namespace {

// One streaming pass, as the tree's own parser reads (no namespace processing).
template <typename Text> Status acceptable(const Text& text) {
    const auto refused = [](const QString& reason) {
        return AppError{0, QStringLiteral("SafeXml"), reason};
    };
    QXmlStreamReader reader(text);
    reader.setNamespaceProcessing(false);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            if (!reader.dtdSystemId().isEmpty() || !reader.dtdPublicId().isEmpty()) {
                return refused(
                    QStringLiteral("O documento faz referência a conteúdo externo, que não é carregado."));
            }
            for (const QXmlStreamEntityDeclaration& entity : reader.entityDeclarations()) {
                if (!entity.systemId().isEmpty() || !entity.publicId().isEmpty()) {
                    return refused(QStringLiteral(
                        "O documento faz referência a conteúdo externo, que não é carregado."));
                }
            }
            break;
        case QXmlStreamReader::StartElement:
            if (++depth > SafeXml::kMaxDepth) {
                return refused(QStringLiteral("O documento tem mais de %1 níveis de elementos.")
                                   .arg(SafeXml::kMaxDepth));
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
        return refused(reader.errorString());
    }
    return {};
}

} // namespace

Status SafeXml::check(const QByteArray& bytes) {
    return acceptable(bytes);
}

Result<QDomDocument> SafeXml::parse(const QString& text) {
    if (Status accepted = acceptable(text); !accepted)
        return accepted.error();
    QDomDocument document;
    QString message;
    int line = 0;
    int column = 0;
    if (!document.setContent(text, false, &message, &line, &column))
        return AppError{0, QStringLiteral("SafeXml"), message};
    return document;
}

} // namespace fiscora
