#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QDomDocument>
#include <QString>

namespace fiscora {

// The one way the program turns text from the network into a document tree. Refuses a
// document type that names outside content, and nesting deeper than any answer of the service
// needs: the tree is built and freed recursively, so a hostile depth would hang or crash.
class SafeXml final {
public:
    static constexpr int kMaxDepth = 256;

    // The document tree, or the reason when the text is not XML or is refused.
    static Result<QDomDocument> parse(const QString& text);
    // The same checks on raw bytes without building a tree, for readers of their own: fails,
    // with the reason, when the bytes are not XML or are refused.
    static Status check(const QByteArray& bytes);
};

} // namespace fiscora
