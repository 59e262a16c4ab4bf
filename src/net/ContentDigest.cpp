#include "net/ContentDigest.h"

#include "net/LibCrypto.h"

#include <QCryptographicHash>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace fiscora {

namespace {

constexpr qint64 kReadBytes = 1024 * 1024;

// SHA-256 by libcrypto when it can be had (several times Qt's own speed on a large upload), else
// by Qt.
class Sha256 {
public:
    Sha256() {
        const Result<const LibCrypto*>& crypto = libCrypto();
        if (crypto) {
            m_crypto = *crypto;
            m_context = m_crypto->EVP_MD_CTX_new();
            if (m_context && m_crypto->EVP_DigestInit_ex(m_context, m_crypto->EVP_sha256(), nullptr) != 1) {
                m_crypto->EVP_MD_CTX_free(m_context);
                m_context = nullptr;
            }
        }
    }
    ~Sha256() {
        if (m_context)
            m_crypto->EVP_MD_CTX_free(m_context);
    }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(const char* data, qint64 size) {
        if (m_context)
            m_crypto->EVP_DigestUpdate(m_context, data, static_cast<size_t>(size));
        else
            m_qt.addData(QByteArrayView(data, size));
    }
    QString hex() {
        if (!m_context)
            return QString::fromLatin1(m_qt.result().toHex());
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        m_crypto->EVP_DigestFinal_ex(m_context, digest, &length);
        return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
    }

private:
    const LibCrypto* m_crypto = nullptr;
    EVP_MD_CTX* m_context = nullptr;
    QCryptographicHash m_qt{QCryptographicHash::Sha256};
};

AppError unreadable(const QString& path, const QString& reason) {
    return AppError{0, QStringLiteral("ContentDigest"),
                    QStringLiteral("Não foi possível ler o arquivo %1 (%2).").arg(path, reason)};
}

} // namespace

// A piece's file is read by position, so the upload's own reading is not disturbed.
Result<ContentDigest> digestContent(const QList<UploadFilePiece>& pieces) {
    Sha256 hash;
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

ContentDigest digestContent(const QByteArray& content) {
    Sha256 hash;
    hash.add(content.constData(), content.size());
    return ContentDigest{content.size(), hash.hex()};
}

} // namespace fiscora
