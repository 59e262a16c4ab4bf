#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QString>

class QDomDocument;

namespace fiscora {

// The one way the program turns text from the network into a document tree. Refuses a
// document type that names outside content, and nesting deeper than any answer of the service
// needs: the tree is built and freed recursively, so a hostile depth would hang or crash.
class SafeXml final {
public:
    static constexpr int kMaxDepth = 256;

    // False with the reason when the text is not XML or is refused; *document is then empty.
    static bool parse(const QString& text, QDomDocument* document, QString* reason);
    // The same checks on raw bytes without building a tree, for readers of their own: fails,
    // with the reason, when the bytes are not XML or are refused.
    static Status check(const QByteArray& bytes);
};

} // namespace fiscora
