#include "gui/CertificateSelection.h"
#include "certificates/CertificateChecks.h"
#include "certificates/CertificateStore.h"
#include "certificates/CertificateTexts.h"
#include "certificates/PersonalCertificateSource.h"
#include "core/UserPreferences.h"
#include "support/LocalTables.h"
#include "support/ProgramFolderFixture.h"
#include "support/ScopedEnvironment.h"
#include "support/TestCertificateChooser.h"
#include "support/TestMessageBox.h"
#include "support/TestServices.h"
#include "validation/Documents.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace fiscora;
using namespace fiscora::test;

namespace {

QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

using Outcome = CertificateSelection::Outcome;

const QString kCompanyCnpj = QStringLiteral("11222333000181");
const QString kAccountantCpf = QStringLiteral("11144477735");

} // namespace

class CertificateSelectionTest final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() {
        const QString folder = m_dir.filePath(QStringLiteral("certificados"));
        qputenv("FISCORA_CERTIFICADOS", folder.toUtf8());
        const CertificateStore store(folder);
        for (const char* name :
             {"empresa", "contador", "terceiro", "cdp-malformado", "cdp-sem-url", "expirado", "futuro"})
            QVERIFY(store.importFile(certificateFixture(QString::fromLatin1(name) + QStringLiteral(".cer")))
                        .ok());
    }

    void cleanupTestCase() { qunsetenv("FISCORA_CERTIFICADOS"); }

    void encodedFormIsTheDerThroughTheDecoder() {
        const Certificate certificate = fixtureCertificate(QStringLiteral("empresa"));
        const Result<QString> decoded = CertificateChecks::encodedForm(certificate);
        QVERIFY(decoded);
        const QString& encoded = *decoded;
        QCOMPARE(encoded.size(), certificate.der().size());
        QVERIFY(encoded.contains(kCompanyCnpj));
        QVERIFY(!encoded.contains(kAccountantCpf));
    }

    // The demo's certificate for an alphanumeric CNPJ carries it as its holder's document, and the
    // content check finds the document as the CNPJ field delivers it, letters included.
    void alphanumericCnpjFoundInItsCertificate() {
        QFile file(QStringLiteral(FISCORA_SOURCE_DIR "/resources/demo/certificados/horizonte-digital.cer"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const Certificate certificate = Certificate::fromDer(file.readAll());
        QCOMPARE(certificate.document(), QStringLiteral("12ABC34501DE35"));
        QCOMPARE(certificate.formattedDocument(), QStringLiteral("12.ABC.345/01DE-35"));
        const Result<QString> encoded = CertificateChecks::encodedForm(certificate);
        QVERIFY(encoded);
        QVERIFY(CertificateChecks::containsDocument(*encoded,
                                                    documentDigits(QStringLiteral("12.abc.345/01de-35"))));
        QVERIFY(!CertificateChecks::containsDocument(*encoded,
                                                     documentDigits(QStringLiteral("12.AMC.345/01DE-35"))));
    }

    void keyVariant_data() {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<bool>("checkContent");
        QTest::addColumn<QString>("taxpayerCnpj");
        QTest::addColumn<QString>("accountant");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("message"); // "" = none

        const QString refused = CertificateTexts::contentRefused;
        QTest::newRow("company's CNPJ only")
            << "empresa" << true << kCompanyCnpj << kAccountantCpf << int(Outcome::Accepted) << "";
        QTest::newRow("accountant's document only")
            << "contador" << true << kCompanyCnpj << kAccountantCpf << int(Outcome::Accepted) << "";
        QTest::newRow("accountant is the company's responsible person")
            << "empresa" << true << QStringLiteral("99999999000191") << QStringLiteral("52998224725")
            << int(Outcome::Accepted) << "";
        QTest::newRow("neither") << "terceiro" << true << kCompanyCnpj << kAccountantCpf
                                 << int(Outcome::Refused) << refused;
        QTest::newRow("no accountant registered")
            << "terceiro" << true << kCompanyCnpj << "" << int(Outcome::Accepted) << "";
        QTest::newRow("import: no content check") << "terceiro" << false << ""
                                                  << "" << int(Outcome::Accepted) << "";
        QTest::newRow("malformed distribution points: reported, goes on")
            << "EMPRESA CDP MALFORMADO" << true << kCompanyCnpj << kAccountantCpf << int(Outcome::Accepted)
            << "Could not retrieve the URLs from the CDP extension: 0x8009310B";
        QTest::newRow("distribution points without address")
            << "EMPRESA CDP SEM URL" << true << kCompanyCnpj << "" << int(Outcome::Accepted)
            << "Could not retrieve the URLs from the CDP extension: 0x80092004";
        QTest::newRow("refused before the distribution points")
            << "EMPRESA CDP MALFORMADO" << true << QStringLiteral("99999999000191") << kAccountantCpf
            << int(Outcome::Refused) << refused;
    }

    void keyVariant() {
        QFETCH(QString, certificate);
        QFETCH(bool, checkContent);
        QFETCH(QString, taxpayerCnpj);
        QFETCH(QString, accountant);
        QFETCH(int, outcome);
        QFETCH(QString, message);

        TestMessageBox boxes;
        TestCertificateChooser chooser;
        const Certificate wanted =
            certificate.contains(QLatin1Char(' ')) ? Certificate() : fixtureCertificate(certificate);
        chooser.queueChoice(wanted.isNull() ? certificate : wanted.fingerprint());
        std::optional<Certificate> selected;
        const Outcome result =
            CertificateSelection::keyVariant(sharedSeams().messages, sharedSeams().certificates, nullptr,
                                             {checkContent, taxpayerCnpj, accountant}, &selected,
                                             PersonalCertificateSource(sharedServices().tokens));
        QCOMPARE(int(result), outcome);
        QCOMPARE(chooser.requests().size(), 1);
        QCOMPARE(chooser.requests().first().title,
                 QStringLiteral("Selecione o Certificado Digital (e-CNPJ)"));
        QCOMPARE(chooser.requests().first().text,
                 QStringLiteral("Escolha o certificado e-CNPJ da empresa para receber a chave"));
        QVERIFY(selected.has_value()); // kept by the window even when refused
        if (message.isEmpty()) {
            QVERIFY2(boxes.shown().isEmpty(), qPrintable(boxes.texts().join(u'|')));
            return;
        }
        QCOMPARE(boxes.shown().size(), 1);
        const MessageRequest& box = boxes.shown().first();
        QCOMPARE(box.text, message);
        QCOMPARE(box.buttons, MessageButtons::Ok);
        if (message == CertificateTexts::contentRefused) {
            QCOMPARE(box.title, QStringLiteral("Fiscora"));
            QCOMPARE(box.icon, MessageIcon::Information);
        } else {
            QCOMPARE(box.title, QStringLiteral("fiscora"));
            QCOMPARE(box.icon, MessageIcon::None);
        }
    }

    void keyVariantCancelChangesNothing() {
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        chooser.queueCancel();
        std::optional<Certificate> selected = fixtureCertificate(QStringLiteral("contador"));
        QCOMPARE(CertificateSelection::keyVariant(sharedSeams().messages, sharedSeams().certificates, nullptr,
                                                  {true, kCompanyCnpj, kAccountantCpf}, &selected,
                                                  PersonalCertificateSource(sharedServices().tokens)),
                 Outcome::Cancelled);
        QCOMPARE(*selected, fixtureCertificate(QStringLiteral("contador")));
        QVERIFY(boxes.shown().isEmpty());
    }

    void unreadableStoreIsAComponentFailure() {
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        QTemporaryDir dir;
        const QString notAFolder = dir.filePath(QStringLiteral("certificados"));
        QFile file(notAFolder);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const CertificateStore broken(notAFolder);
        std::optional<Certificate> selected;
        bool accepted = true;
        QCOMPARE(CertificateSelection::keyVariant(sharedSeams().messages, sharedSeams().certificates, nullptr,
                                                  {}, &selected, broken),
                 Outcome::Failed);
        QCOMPARE(CertificateSelection::transmissionVariant(sharedSeams()(), sharedSeams().certificates,
                                                           nullptr, {}, &selected, &accepted, broken),
                 Outcome::Failed);
        QVERIFY(!accepted);
        QVERIFY(chooser.requests().isEmpty());
        QCOMPARE(boxes.shown().size(), 2);
        for (const MessageRequest& box : boxes.shown()) {
            QCOMPARE(box.title, QStringLiteral("fiscora"));
            QCOMPARE(box.text, CertificateTexts::componentFailure());
            QVERIFY(box.text.startsWith(
                QStringLiteral("O programa não pode inicializar os componentes necessários.\r\n")));
            QVERIFY(box.text.contains(QStringLiteral(
                "afetar estas funções. \r\n\r\nMaiores informações sobre a CAPICOM em https://")));
        }
    }

    void transmissionVariant_data() {
        QTest::addColumn<QString>("accountant"); // cont_cpf_cnpj as stored; "-" = no row
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QDateTime>("serverDate");
        QTest::addColumn<int>("outcome");

        const QString cpf = QStringLiteral("111.444.777-35");
        QTest::newRow("accountant's certificate")
            << cpf << "contador" << utc(2026, 12, 8, 14) << int(Outcome::Accepted);
        QTest::newRow("server date at the end")
            << cpf << "contador" << utc(2099, 12, 31, 23, 59, 59) << int(Outcome::Accepted);
        QTest::newRow("ended before the server date")
            << cpf << "contador" << utc(2100, 1, 1) << int(Outcome::Refused);
        QTest::newRow("server date in another offset, same instant after the end")
            << cpf << "contador" << QDateTime(QDate(2099, 12, 31), QTime(21, 0, 0), QTimeZone(-3 * 3600))
            << int(Outcome::Refused);
        QTest::newRow("not yet begun is accepted")
            << cpf << "futuro" << utc(2030, 1, 1) << int(Outcome::Accepted);
        QTest::newRow("server date not known yet")
            << cpf << "contador" << QDateTime() << int(Outcome::Accepted);
        QTest::newRow("zero of the date type")
            << cpf << "contador" << QDateTime(QDate(1899, 12, 30), QTime(0, 0)) << int(Outcome::Accepted);
        QTest::newRow("someone else's certificate")
            << cpf << "terceiro" << utc(2026, 1, 1) << int(Outcome::Refused);
        QTest::newRow("company's certificate is not the accountant's")
            << cpf << "empresa" << utc(2026, 1, 1) << int(Outcome::Refused);
        QTest::newRow("accountant office by CNPJ")
            << QStringLiteral("11.222.333/0001-81") << "empresa" << utc(2026, 1, 1) << int(Outcome::Accepted);
        QTest::newRow("no accountant row: any certificate")
            << "-"
            << "terceiro" << utc(2026, 1, 1) << int(Outcome::Accepted);
    }

    void transmissionVariant() {
        QFETCH(QString, accountant);
        QFETCH(QString, certificate);
        QFETCH(QDateTime, serverDate);
        QFETCH(int, outcome);

        ProgramFolderFixture folder;
        if (accountant != u"-") {
            const Status saved = saveTestAccountant(accountant);
            QVERIFY2(saved, qPrintable(saved.error().description));
        }
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        chooser.queueChoice(fixtureCertificate(certificate).fingerprint());
        std::optional<Certificate> selected;
        bool accepted = outcome == int(Outcome::Refused); // a refusal must clear an earlier acceptance
        QCOMPARE(int(CertificateSelection::transmissionVariant(
                     sharedSeams()(), sharedSeams().certificates, nullptr, serverDate, &selected, &accepted,
                     PersonalCertificateSource(sharedServices().tokens))),
                 outcome);
        QCOMPARE(chooser.requests().first().title, QStringLiteral("Using CAPI to Select a certificate"));
        QCOMPARE(chooser.requests().first().text, QStringLiteral("Select a certificate using CAPI"));
        QCOMPARE(*selected, fixtureCertificate(certificate));
        if (outcome == int(Outcome::Accepted)) {
            QVERIFY(accepted);
            QVERIFY(boxes.shown().isEmpty());
            return;
        }
        QVERIFY(!accepted);
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown().first().title, QStringLiteral("Fiscora - Certificado Inválido"));
        QCOMPARE(
            boxes.shown().first().text,
            QStringLiteral("O Certificado escolhido é inválido. Verifique a validade e se o mesmo confere "
                           "com os dados informados no cadastro do contador."));
        QCOMPARE(boxes.shown().first().icon, MessageIcon::Critical);
    }

    void transmissionCancelKeepsTheFlag_data() {
        QTest::addColumn<bool>("accepted");
        QTest::newRow("accepted before") << true;
        QTest::newRow("nothing accepted") << false;
    }

    void transmissionCancelKeepsTheFlag() {
        QFETCH(bool, accepted);
        ProgramFolderFixture folder;
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        chooser.queueCancel();
        std::optional<Certificate> selected = fixtureCertificate(QStringLiteral("contador"));
        bool flag = accepted;
        QCOMPARE(CertificateSelection::transmissionVariant(
                     sharedSeams()(), sharedSeams().certificates, nullptr, utc(2026, 1, 1), &selected, &flag,
                     PersonalCertificateSource(sharedServices().tokens)),
                 Outcome::Cancelled);
        QCOMPARE(flag, accepted);
        QCOMPARE(*selected, fixtureCertificate(QStringLiteral("contador")));
        QVERIFY(boxes.shown().isEmpty());
    }

    void missingDatabaseIsAComponentFailure() {
        ProgramFolderFixture folder;
        QVERIFY(QFile::remove(folder.file(QStringLiteral("fiscora.mdb"))));
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        chooser.queueChoice(fixtureCertificate(QStringLiteral("contador")).fingerprint());
        std::optional<Certificate> selected;
        bool accepted = true;
        QCOMPARE(CertificateSelection::transmissionVariant(
                     sharedSeams()(), sharedSeams().certificates, nullptr, utc(2026, 1, 1), &selected,
                     &accepted, PersonalCertificateSource(sharedServices().tokens)),
                 Outcome::Failed);
        QVERIFY(!accepted);
        QCOMPARE(boxes.texts(), QStringList{CertificateTexts::componentFailure()});
    }

    // Each use offers first the certificate last accepted for it; a refused one is not kept.
    void lastAcceptedCertificateIsOfferedFirstForItsUse() {
        QTemporaryDir preferences;
        const test::ScopedEnvironment preferencesFolder("FISCORA_PREFERENCIAS", preferences.path());
        ProgramFolderFixture folder;
        QVERIFY(saveTestAccountant());
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        std::optional<Certificate> selected;
        bool accepted = false;
        const auto transmission = [&](const char* name) {
            chooser.queueChoice(fixtureCertificate(QString::fromLatin1(name)).fingerprint());
            return CertificateSelection::transmissionVariant(
                sharedSeams()(), sharedSeams().certificates, nullptr, utc(2026, 1, 1), &selected, &accepted,
                PersonalCertificateSource(sharedServices().tokens));
        };
        const auto key = [&](const char* name) {
            chooser.queueChoice(fixtureCertificate(QString::fromLatin1(name)).fingerprint());
            return CertificateSelection::keyVariant(sharedSeams().messages, sharedSeams().certificates,
                                                    nullptr, {false, {}, {}}, &selected,
                                                    PersonalCertificateSource(sharedServices().tokens));
        };
        const QString contador = fixtureCertificate(QStringLiteral("contador")).fingerprint();
        const QString empresa = fixtureCertificate(QStringLiteral("empresa")).fingerprint();

        QCOMPARE(transmission("contador"), Outcome::Accepted);
        QCOMPARE(key("empresa"), Outcome::Accepted);
        QCOMPARE(transmission("terceiro"), Outcome::Refused);
        QCOMPARE(key("contador"), Outcome::Accepted);
        const QStringList offered = [&] {
            QStringList fingerprints;
            for (const TestCertificateChooser::Request& request : chooser.requests())
                fingerprints.append(request.preferred);
            return fingerprints;
        }();
        QCOMPARE(offered, (QStringList{QString(), QString(), contador, empresa}));
        // On disk in the user's preferences, for the next run.
        QVERIFY(UserPreferences::filePath().startsWith(preferences.path()));
        QVERIFY(readBytes(UserPreferences::filePath()).contains(contador.toLatin1()));
    }

    void keyValidity_data() {
        QTest::addColumn<QDateTime>("serverDate");
        QTest::addColumn<bool>("within");
        QTest::newRow("first second") << utc(2024, 1, 1) << true;
        QTest::newRow("a second before") << utc(2023, 12, 31, 23, 59, 59) << false;
        QTest::newRow("last second") << utc(2024, 12, 31, 23, 59, 59) << true;
        QTest::newRow("a second after") << utc(2025, 1, 1) << false;
        QTest::newRow("after, written in -03:00")
            << QDateTime(QDate(2024, 12, 31), QTime(21, 0, 0), QTimeZone(-3 * 3600)) << false;
        QTest::newRow("within, written in -03:00")
            << QDateTime(QDate(2024, 12, 31), QTime(20, 59, 59), QTimeZone(-3 * 3600)) << true;
        QTest::newRow("unknown date") << QDateTime() << false;
    }

    void keyValidity() {
        QFETCH(QDateTime, serverDate);
        QFETCH(bool, within);
        QCOMPARE(CertificateChecks::withinValidity(fixtureCertificate(QStringLiteral("limites")), serverDate),
                 within);
    }
};

int runCertificateSelectionTest(int argc, char** argv) {
    CertificateSelectionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "CertificateSelectionTest.moc"
