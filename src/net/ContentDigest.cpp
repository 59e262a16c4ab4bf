#include "net/ContentDigest.h"

#include "net/NetworkLibrary.h"

#include <QCryptographicHash>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <memory>

#include <unistd.h>

namespace fiscora {

namespace {

constexpr qint64 kReadBytes = 1024 * 1024;

// SHA-256 by libcrypto when it can be had (several times Qt's own speed on a large upload), else
// by Qt.
class Sha256Digest {
public:
    Sha256Digest() {
        if (const Result<const NetworkLibrary*>& library = networkLibrary())
            m_crypto = (*library)->sha256();
    }

    void add(const char* data, qint64 size) {
        if (m_crypto)
            m_crypto->add(QByteArrayView(data, size));
        else
            m_qt.addData(QByteArrayView(data, size));
    }
    QString hex() { return QString::fromLatin1((m_crypto ? m_crypto->result() : m_qt.result()).toHex()); }

private:
    std::unique_ptr<Sha256> m_crypto;
    QCryptographicHash m_qt{QCryptographicHash::Sha256};
};

AppError unreadable(const QString& path, const QString& reason) {
    return AppError{0, QStringLiteral("ContentDigest"),
                    QStringLiteral("Não foi possível ler o arquivo %1 (%2).").arg(path, reason)};
}

} // namespace

// A piece's file is read by position, so the upload's own reading is not disturbed.
Result<ContentDigest> digestContent(const QList<UploadFilePiece>& pieces) {
    Sha256Digest hash;
    qint64 size = 0;
    QByteArray buffer(kReadBytes, Qt::Uninitialized);
    for (const UploadFilePiece& piece : pieces) {
        if (piece.path.isEmpty()) {
            hash.add(piece.bytes.constData(), piece.bytes.size());
            size += piece.bytes.size();
            continue;
        }
        const int descriptor = piece.file->handle();
        for (qint64 offset = 0; offset < piece.size;) {
            const ssize_t n = ::pread(descriptor, buffer.data(),
                                      static_cast<size_t>(std::min(kReadBytes, piece.size - offset)), offset);
            if (n < 0)
                return unreadable(piece.path, QString::fromLocal8Bit(std::strerror(errno)));
            if (n == 0) {
                return AppError{
                    0, QStringLiteral("ContentDigest"),
                    QStringLiteral("O arquivo %1 ficou menor depois de escolhido.").arg(piece.path)};
            }
            hash.add(buffer.constData(), n);
            offset += n;
        }
        size += piece.size;
    }
    return ContentDigest{size, hash.hex()};
}

} // namespace fiscora
