#pragma once

#include "core/Result.h"
#include "net/Upload.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace fiscora {

// The size and SHA-256 of the exact content of an upload, for the journal of transmissions.
struct ContentDigest {
    qint64 size = 0;
    QString sha256; // lower-case hex
};

// The pieces in order, each file read `size` bytes in chunks, as the upload sends them, so a
// large file is never held whole. Fails, in Portuguese, when a file cannot be read or holds fewer
// bytes than its piece.
Result<ContentDigest> digestContent(const QList<UploadFilePiece>& pieces);

} // namespace fiscora
