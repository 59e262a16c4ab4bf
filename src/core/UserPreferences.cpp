#include "core/UserPreferences.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>

namespace fiscora {

namespace {

QString certificateKey(UserPreferences::CertificateUse use) {
    switch (use) {
    case UserPreferences::CertificateUse::Key:
        return QStringLiteral("certificados/chave");
    case UserPreferences::CertificateUse::Import:
        return QStringLiteral("certificados/importacao");
    case UserPreferences::CertificateUse::Transmission:
        break;
    }
    return QStringLiteral("certificados/transmissao");
}

QString read(const QString& key) {
    const QSettings settings(UserPreferences::filePath(), QSettings::IniFormat);
    return settings.value(key).toString();
}

void write(const QString& key, const QString& value) {
    QSettings settings(UserPreferences::filePath(), QSettings::IniFormat);
    if (value.isEmpty())
        settings.remove(key);
    else
        settings.setValue(key, value);
    // Written now: the program may end without unwinding (the updater, a signal).
    settings.sync();
}

} // namespace

QString UserPreferences::filePath() {
    QString folder = qEnvironmentVariable("FISCORA_PREFERENCIAS");
    if (folder.isEmpty())
        folder = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                     .filePath(QStringLiteral("Fiscora"));
    return QDir(folder).filePath(QStringLiteral("preferencias.ini"));
}

QString UserPreferences::uploadFolder() {
    return read(QStringLiteral("envio/pasta"));
}

void UserPreferences::setUploadFolder(const QString& folder) {
    write(QStringLiteral("envio/pasta"), folder);
}

int UserPreferences::uploadsAtOnce() {
    bool ok = false;
    const int chosen = read(QStringLiteral("lote/simultaneos")).toInt(&ok);
    return ok ? std::clamp(chosen, 1, 8) : 3;
}

QString UserPreferences::certificate(CertificateUse use) {
    return read(certificateKey(use));
}

void UserPreferences::setCertificate(CertificateUse use, const QString& fingerprint) {
    write(certificateKey(use), fingerprint);
}

QString UserPreferences::documentsFolder() {
    const QString folder = read(QStringLiteral("recibos/pasta"));
    return folder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) : folder;
}

void UserPreferences::setDocumentsFolder(const QString& folder) {
    write(QStringLiteral("recibos/pasta"), folder);
}

QDate UserPreferences::expiryNoticeDay() {
    return QDate::fromString(read(QStringLiteral("certificados/aviso-vencimento")), Qt::ISODate);
}

void UserPreferences::setExpiryNoticeDay(const QDate& day) {
    write(QStringLiteral("certificados/aviso-vencimento"),
          day.isValid() ? day.toString(Qt::ISODate) : QString());
}

} // namespace fiscora
