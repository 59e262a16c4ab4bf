#include "net/ContentDigest.h"

#include <QCryptographicHash>
#include <QFile>

namespace fiscora {

Result<ContentDigest> digestContent(const QList<UploadFilePiece>& pieces) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 size = 0;
    for (const UploadFilePiece& piece : pieces) {
        if (piece.path.isEmpty()) {
            hash.addData(piece.bytes);
            size += piece.bytes.size();
            continue;
        }
        QFile file(piece.path);
        const auto unreadable = [&] {
            return AppError{file.error(), QStringLiteral("ContentDigest"),
                            QStringLiteral("Não foi possível ler o arquivo %1 (%2).")
                                .arg(piece.path, file.errorString())};
        };
        if (!file.open(QIODevice::ReadOnly))
            return unreadable();
        for (qint64 left = piece.size; left > 0;) {
            const QByteArray chunk = file.read(std::min(left, UploadSession::kChunkBytes));
            if (chunk.isEmpty() && file.error() != QFileDevice::NoError)
                return unreadable();
            if (chunk.isEmpty()) {
                return AppError{
                    0, QStringLiteral("ContentDigest"),
                    QStringLiteral("O arquivo %1 ficou menor depois de escolhido.").arg(piece.path)};
            }
            hash.addData(chunk);
            left -= chunk.size();
        }
        size += piece.size;
    }
    return ContentDigest{size, QString::fromLatin1(hash.result().toHex())};
}

ContentDigest digestContent(const QByteArray& content) {
    return ContentDigest{
        content.size(),
        QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex())};
}

} // namespace fiscora
