#pragma once

#include <QDate>
#include <QString>

namespace fiscora {

// What the program remembers for the user from one run to the next: the folder the upload windows
// were last left in, the certificate last accepted for each use, where receipts are kept and
// when certificates about to expire were last named. Kept in the user's own
// configuration (~/.config/Fiscora/preferencias.ini, or the folder FISCORA_PREFERENCIAS names),
// never in the program folder's fiscora.ini, which the program only reads. A file that cannot be
// read or written only means nothing is remembered.
class UserPreferences {
public:
    // The key request takes a company's certificate (or the accountant's); the company import,
    // one certificate for many companies, and the transmissions take the accountant's.
    enum class CertificateUse { Key, Import, Transmission };

    static QString uploadFolder();
    static void setUploadFolder(const QString& folder);

    // The fingerprint of the certificate last accepted for that use; empty when none.
    static QString certificate(CertificateUse use);
    static void setCertificate(CertificateUse use, const QString& fingerprint);

    // How many companies of a batch go at once (1 to 8; 3 unless the user chose).
    static int uploadsAtOnce();

    // The folder the receipts are kept under (in Fiscora/Recibos); by default the user's
    // documents folder.
    static QString documentsFolder();
    static void setDocumentsFolder(const QString& folder);

    // The day certificates about to expire were last named; invalid when never.
    static QDate expiryNoticeDay();
    static void setExpiryNoticeDay(const QDate& day);

    // The file the preferences live in.
    static QString filePath();
};

} // namespace fiscora
