#pragma once

#include "certificates/CertificateChooser.h"
#include "support/NestedLoopHold.h"
#include "support/TestSeams.h"

#include <QList>
#include <QQueue>
#include <QString>

#include <optional>

namespace fiscora::test {

// Answers the certificate chooser: picks from the source the certificate whose fingerprint or
// subject name contains the queued text, or cancels (queueCancel, or an empty queue), after a nested
// event loop as the modal dialog runs. Records every request. Stands in the test seams' chooser for
// its lifetime.
class TestCertificateChooser final : public CertificateChooser, public NestedLoopHold {
public:
    struct Request {
        QString title;
        QString text;
        QWidget* parent = nullptr;
        int listed = 0;    // certificates the source offered
        QString preferred; // the fingerprint the chooser starts on
    };

    TestCertificateChooser();
    ~TestCertificateChooser() override;
    TestCertificateChooser(const TestCertificateChooser&) = delete;
    TestCertificateChooser& operator=(const TestCertificateChooser&) = delete;

    void queueChoice(const QString& fingerprintOrSubject) { m_answers.enqueue(fingerprintOrSubject); }
    void queueCancel() { m_answers.enqueue(std::nullopt); }
    const QList<Request>& requests() const { return m_requests; }

protected:
    std::optional<Certificate> select(QWidget* parent, const QString& title, const QString& text,
                                      const CertificateSource& source, const QString& preferred) override;

private:
    QList<Request> m_requests;
    QQueue<std::optional<QString>> m_answers;
};

// The test certificates of tests/fixtures/certificados.
QString certificateFixture(const QString& fileName);
QByteArray certificateFixtureBytes(const QString& fileName);
Certificate fixtureCertificate(const QString& name); // NAME.cer

} // namespace fiscora::test
