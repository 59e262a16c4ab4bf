#include "support/TestCertificateChooser.h"

#include "certificates/CertificateSource.h"
#include "support/TestSeams.h"

#include <QFile>

namespace fiscora::test {

TestCertificateChooser::TestCertificateChooser()
    : CertificateChooser(sharedSeams().gate) {
    sharedSeams().certificates.test = this;
}

TestCertificateChooser::~TestCertificateChooser() {
    sharedSeams().certificates.test = nullptr;
}

std::optional<Certificate> TestCertificateChooser::select(QWidget* parent, const QString& title,
                                                          const QString& text,
                                                          const CertificateSource& source,
                                                          const QString& preferred) {
    const QList<Certificate> certificates = source.list().valueOr({});
    m_requests.append({title, text, parent, static_cast<int>(certificates.size()), preferred});
    runLoop();
    if (m_answers.isEmpty())
        return std::nullopt;
    const std::optional<QString> wanted = m_answers.dequeue();
    if (!wanted)
        return std::nullopt;
    for (const Certificate& certificate : certificates) {
        if (certificate.fingerprint() == *wanted || certificate.subjectName().contains(*wanted))
            return certificate;
    }
    qWarning("TestCertificateChooser: no certificate matches %s", qUtf8Printable(*wanted));
    return std::nullopt;
}

QString certificateFixture(const QString& fileName) {
    return QStringLiteral(FISCORA_SOURCE_DIR "/tests/fixtures/certificados/") + fileName;
}

QByteArray certificateFixtureBytes(const QString& fileName) {
    QFile file(certificateFixture(fileName));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing certificate fixture %s", qUtf8Printable(fileName));
    return file.readAll();
}

Certificate fixtureCertificate(const QString& name) {
    return Certificate::fromDer(certificateFixtureBytes(name + QStringLiteral(".cer")));
}

} // namespace fiscora::test
