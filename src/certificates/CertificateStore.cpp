#include "certificates/CertificateStore.h"

#include "certificates/CertificateExtensions.h"
#include "certificates/Pkcs12Reader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <optional>

namespace fiscora {

namespace {

// Certificate files are small; anything bigger is not one.
constexpr qint64 kMaxFileSize = 1024 * 1024;

bool isPem(const QByteArray& data) {
    return data.contains("-----BEGIN CERTIFICATE-----");
}

// Every certificate a .cer/.crt/.pem/.der file holds (PEM may hold several).
QList<Certificate> certificatesIn(const QByteArray& data) {
    QList<Certificate> found;
    if (isPem(data)) {
        for (const QByteArray& der : CertificateExtensions::pemCertificates(data)) {
            const Certificate certificate = Certificate::fromDer(der);
            if (!certificate.isNull())
                found.append(certificate);
        }
        return found;
    }
    const Certificate certificate = Certificate::fromDer(data);
    if (!certificate.isNull())
        found.append(certificate);
    return found;
}

// Nothing when the file cannot be opened or is too big for a certificate file.
std::optional<QByteArray> readSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize)
        return std::nullopt;
    return file.readAll();
}

ImportResult failure(ImportResult::Status status, const QString& message) {
    ImportResult result;
    result.status = status;
    result.message = message;
    return result;
}

} // namespace

QString CertificateStore::defaultFolder() {
    const QString fromEnvironment = qEnvironmentVariable("FISCORA_CERTIFICADOS");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("certificados"));
}

CertificateStore::CertificateStore(QString folder)
    : m_folder(std::move(folder)) {}

namespace {

QStringList storeFileNames(const QString& folder) {
    return QDir(folder).entryList(
        {QStringLiteral("*.cer"), QStringLiteral("*.crt"), QStringLiteral("*.pem"), QStringLiteral("*.der")},
        QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase);
}

} // namespace

Result<CertificateSource::Listing> CertificateStore::listWithProblems() const {
    QList<Certificate> certificates;
    const QFileInfo info(m_folder);
    if (!info.exists())
        return Listing{certificates, {}}; // nothing imported yet
    if (!info.isDir() || !info.isReadable()) {
        return AppError::message(QStringLiteral("Não foi possível ler a pasta de certificados %1.")
                                     .arg(QDir::toNativeSeparators(m_folder)));
    }
    const QStringList names = storeFileNames(m_folder);
    QSet<QByteArray> seen;
    for (const QString& name : names) {
        const std::optional<QByteArray> data = readSmallFile(QDir(m_folder).filePath(name));
        if (!data)
            continue; // an unreadable or foreign file is not a certificate of the store
        for (const Certificate& certificate : certificatesIn(*data)) {
            if (seen.contains(certificate.der()))
                continue;
            seen.insert(certificate.der());
            certificates.append(certificate);
        }
    }
    std::stable_sort(certificates.begin(), certificates.end(),
                     [](const Certificate& a, const Certificate& b) {
                         const int byName = QString::localeAwareCompare(a.subjectName(), b.subjectName());
                         return byName != 0 ? byName < 0 : a.validTo() > b.validTo();
                     });
    return Listing{std::move(certificates), {}};
}

void CertificateSource::read(QObject* context, std::function<void()> done) const {
    QTimer::singleShot(0, context, std::move(done));
}

bool CertificateSource::needsPassword(const QString&) const {
    return false;
}

ImportResult CertificateSource::importFile(const QString&, const QString&) const {
    ImportResult result;
    result.message = QStringLiteral("Esta origem de certificados não aceita importação.");
    return result;
}

Status CertificateSource::remove(const Certificate&) const {
    return AppError::message(QStringLiteral("Esta origem de certificados não permite remover certificados."));
}

Status CertificateStore::remove(const Certificate& certificate) const {
    QStringList holding;
    for (const QString& name : storeFileNames(m_folder)) {
        const std::optional<QByteArray> data = readSmallFile(QDir(m_folder).filePath(name));
        if (!data)
            continue;
        const QList<Certificate> found = certificatesIn(*data);
        if (!found.contains(certificate))
            continue;
        // A chain the user put here by hand: deleting it would take the others along.
        if (found.size() > 1)
            return AppError::message(
                QStringLiteral("O certificado de %1 está no arquivo %2 junto com outros certificados; "
                               "nada foi removido. Tire-o desse arquivo na pasta %3.")
                    .arg(certificate.subjectName(), name, QDir::toNativeSeparators(m_folder)));
        holding.append(name);
    }
    if (holding.isEmpty())
        return AppError::message(QStringLiteral("O certificado de %1 não está mais no repositório.")
                                     .arg(certificate.subjectName()));
    for (const QString& name : holding) {
        if (!QFile::remove(QDir(m_folder).filePath(name)))
            return AppError::message(QStringLiteral("Não foi possível apagar o arquivo %1 da pasta %2.")
                                         .arg(name, QDir::toNativeSeparators(m_folder)));
    }
    return {};
}

bool CertificateStore::isPkcs12(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == u"pfx" || suffix == u"p12";
}

bool CertificateStore::needsPassword(const QString& path) const {
    return isPkcs12(path);
}

ImportResult CertificateStore::readFile(const QString& path, const QString& password) {
    const QString name = QFileInfo(path).fileName();
    const std::optional<QByteArray> file = readSmallFile(path);
    if (!file)
        return failure(ImportResult::Status::Unreadable,
                       QStringLiteral("Não foi possível abrir o arquivo %1.").arg(name));
    const QByteArray& data = *file;

    ImportResult read;
    read.status = ImportResult::Status::Imported;
    if (isPkcs12(path)) {
        QByteArray der;
        switch (Pkcs12Reader::read(data, password, &der)) {
        case Pkcs12Reader::Status::Ok:
            break;
        case Pkcs12Reader::Status::WrongPassword:
            return failure(ImportResult::Status::WrongPassword,
                           QStringLiteral("A senha informada não abre o arquivo %1.").arg(name));
        case Pkcs12Reader::Status::Unsupported:
            return failure(
                ImportResult::Status::Unsupported,
                QStringLiteral("O arquivo %1 usa uma proteção que não pôde ser lida neste computador.")
                    .arg(name));
        case Pkcs12Reader::Status::NotPkcs12:
        case Pkcs12Reader::Status::NoCertificate:
            return failure(ImportResult::Status::Unreadable,
                           QStringLiteral("O arquivo %1 não contém um certificado válido.").arg(name));
        }
        read.certificate = Certificate::fromDer(der);
    } else {
        // A chain file starts with the holder's certificate; the authorities' are not personal.
        const QList<Certificate> found = certificatesIn(data);
        if (!found.isEmpty())
            read.certificate = found.first();
    }
    if (read.certificate.isNull())
        return failure(ImportResult::Status::Unreadable,
                       QStringLiteral("O arquivo %1 não contém um certificado válido.").arg(name));
    return read;
}

ImportResult CertificateStore::importFile(const QString& path, const QString& password) const {
    const ImportResult read = readFile(path, password);
    return read.ok() ? store(read.certificate) : read;
}

ImportResult CertificateStore::store(const Certificate& certificate) const {
    ImportResult result;
    result.certificate = certificate;
    if (list().valueOr({}).contains(certificate)) {
        result.status = ImportResult::Status::AlreadyPresent;
        result.message =
            QStringLiteral("O certificado de %1 já estava no repositório.").arg(certificate.subjectName());
        return result;
    }
    QSaveFile file(QDir(m_folder).filePath(certificate.fingerprint() + QStringLiteral(".cer")));
    if (!QDir().mkpath(m_folder) || !file.open(QIODevice::WriteOnly) ||
        file.write(certificate.der()) != certificate.der().size() || !file.commit()) {
        return failure(ImportResult::Status::WriteFailed,
                       QStringLiteral("Não foi possível gravar o certificado na pasta %1.")
                           .arg(QDir::toNativeSeparators(m_folder)));
    }
    result.status = ImportResult::Status::Imported;
    result.message = QStringLiteral("Certificado de %1 importado.").arg(certificate.subjectName());
    return result;
}

} // namespace fiscora
