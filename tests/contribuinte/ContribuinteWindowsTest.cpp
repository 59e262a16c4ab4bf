#include "certificates/CertificateStore.h"
#include "certificates/CertificateTexts.h"
#include "core/Session.h"
#include "data/AccountantTable.h"
#include "data/TaxpayerTable.h"
#include "data/TransmissionJournal.h"
#include "gui/Principal.h"
#include "gui/frmtbl_CadastroContribuinte.h"
#include "gui/frmtbl_CriaContribuinte.h"
#include "gui/frmtbl_SelecionaContribuinte.h"
#include "gui/frmtbl_atualizarContribuinte.h"
#include "net/KeyRequest.h"
#include "net/Soap.h"
#include "support/Await.h"
#include "support/LocalTables.h"
#include "support/ProgramFolderFixture.h"
#include "support/SeedData.h"
#include "support/ServerLauncher.h"
#include "support/TestCertificateChooser.h"
#include "support/TestMessageBox.h"
#include "support/TestServices.h"
#include "support/TopLevelWindows.h"
#include "support/Widgets.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace fiscora;
using namespace fiscora::test;

namespace {

// The key request as the windows start it, waited for.
KeyAnswer keyAnswer(const QString& ie, const QString& cnpj) {
    return fiscora::test::await<KeyAnswer>([&](QObject* context, std::function<void(KeyAnswer)> done) {
               KeyRequest::request(
                   HttpClient(fiscora::test::sharedSeams().folder, fiscora::test::sharedSeams().gate), ie,
                   cnpj, context, std::move(done));
           })
        .value_or(KeyAnswer{});
}

const QString kIeA = QStringLiteral("110.042.490.114"); // Simples Nacional, key TESTE001
const QString kIeB = QStringLiteral("648.120.377.258"); // not Simples, key TESTE002
const QString kIeUnknown = QStringLiteral("648.135.514.406");
const QString kCnpj = QStringLiteral("11.222.333/0001-81");
// A company registered with an alphanumeric CNPJ, and the demo's certificate made for it.
const QString kIeAlfa = QStringLiteral("648.213.570.204");
const QString kCnpjAlfa = QStringLiteral("12.ABC.345/01DE-35");
const QString kAlfaCertificate =
    QStringLiteral(FISCORA_SOURCE_DIR "/resources/demo/certificados/horizonte-digital.cer");
const QString kServerDate = QStringLiteral("15/06/2026 10:30:00");

const QString kRefusal =
    QStringLiteral("Atenção, não foi encontrado cadastro para as informações preenchidas.\r\n\r\n"
                   "Solicitamos entrar em contato por E-MAIL com o suporte, informando: CNPJ, "
                   "IE e CNAE do contribuinte.");

QLineEdit* edit(QWidget* window, const char* name) {
    return child<QLineEdit>(window, name);
}

struct Fields {
    QString ie = kIeA;
    QString razao = QStringLiteral("Empresa Teste");
    QString cnpj = kCnpj;
    QString cnae = QStringLiteral("4711-3/02");
    QString ccm = QStringLiteral("10.245-7");
    QString chave = QStringLiteral("TESTE001");
    bool simples = false;
};

void fillCreation(QWidget* window, const Fields& f) {
    edit(window, "txtIE")->setText(f.ie);
    edit(window, "txtRazaoSocial")->setText(f.razao);
    edit(window, "txtCNPJ")->setText(f.cnpj);
    edit(window, "txtCNAE")->setText(f.cnae);
    edit(window, "txtInscMunicipal")->setText(f.ccm);
    edit(window, "Chave")->setText(f.chave);
    child<QCheckBox>(window, "flag_optantesimples")->setChecked(f.simples);
}

QString screenshotFolder() {
    const QString folder = QStringLiteral(FISCORA_BIN_DIR "/../capturas");
    QDir().mkpath(folder);
    return folder;
}

} // namespace

class ContribuinteWindowsTest final : public QObject {
    Q_OBJECT

private:
    ServerLauncher m_server;
    ServerLauncher m_secureServer; // the same companies, over TLS
    QTemporaryDir m_certificates;
    std::unique_ptr<ProgramFolderFixture> m_folder;
    Session m_session;
    // The main window's journal: an empty one of the build's, whatever folder a test makes.
    QTemporaryDir m_journalFolder;
    std::unique_ptr<TransmissionJournal> m_journal;
    Services m_services = testServices();
    std::unique_ptr<Principal> m_main;

    void saveAccountant(const QString& document) {
        const Status saved = saveTestAccountant(document);
        QVERIFY2(saved, qPrintable(saved.error().description));
    }

    void press(QWidget* window, const char* button) {
        QTest::mouseClick(child<QPushButton>(window, button), Qt::LeftButton);
    }

private Q_SLOTS:
    void initTestCase() {
        const QStringList seed =
            writeSeed(m_server,
                      {{kIeA, kCnpj, QStringLiteral("Empresa Teste"), QStringLiteral("TESTE001"), true, {}},
                       {kIeB,
                        QStringLiteral("11222333000181"),
                        QStringLiteral("Empresa Teste Filial"),
                        QStringLiteral("TESTE002"),
                        false,
                        {}},
                       {kIeAlfa,
                        kCnpjAlfa,
                        QStringLiteral("Horizonte Digital"),
                        QStringLiteral("ALFA0001"),
                        false,
                        {}}},
                      {{QStringLiteral("dataServidor"), kServerDate}});
        QVERIFY2(m_server.start(seed), qPrintable(m_server.errorString()));
        m_secureServer.setSecure(true);
        QVERIFY2(m_secureServer.start(seed), qPrintable(m_secureServer.errorString()));
        qputenv("FISCORA_CERTIFICADOS", m_certificates.path().toUtf8());
        const CertificateStore store;
        for (const char* name : {"empresa", "contador", "terceiro", "cdp-malformado", "expirado", "futuro"})
            QVERIFY(store.importFile(certificateFixture(QString::fromLatin1(name) + QStringLiteral(".cer")))
                        .ok());
        QVERIFY(store.importFile(kAlfaCertificate).ok());
        const QString journalFile = m_journalFolder.filePath(QStringLiteral("fiscora.mdb"));
        QVERIFY(QFile::copy(buildProgramFolder() + QStringLiteral("/fiscora.mdb"), journalFile));
        m_journal = std::make_unique<TransmissionJournal>(journalFile, sharedSeams().clock);
        m_services.journal = m_journal.get();
        m_main = std::make_unique<Principal>(m_session, m_services);
    }

    void cleanupTestCase() {
        m_main.reset();
        qunsetenv("FISCORA_CERTIFICADOS");
    }

    void init() {
        m_folder = std::make_unique<ProgramFolderFixture>(m_server.host(), m_server.port());
        m_main->setEnabled(false); // as the "Novo" command leaves it
    }

    void cleanup() {
        deleteTopLevelWindows(m_main.get());
        m_folder.reset();
    }

    // Server contract of the key request, through the client's own call and reader.
    void keyOperation_data() {
        QTest::addColumn<QString>("ie");
        QTest::addColumn<QString>("cnpj");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("chave");
        QTest::addColumn<bool>("simples");
        QTest::addColumn<bool>("secure");

        using S = KeyAnswer::Status;
        QTest::newRow("known, Simples") << kIeA << kCnpj << int(S::Granted) << "TESTE001" << true << false;
        QTest::newRow("known, Simples, over TLS")
            << kIeA << kCnpj << int(S::Granted) << "TESTE001" << true << true;
        QTest::newRow("known, not Simples")
            << kIeB << kCnpj << int(S::Granted) << "TESTE002" << false << false;
        QTest::newRow("digits only") << "110042490114"
                                     << "11222333000181" << int(S::Granted) << "TESTE001" << true << false;
        QTest::newRow("unknown pair") << kIeUnknown << kCnpj << int(S::Refused) << "" << false << false;
        QTest::newRow("IE of another CNPJ")
            << kIeA << "99.999.999/0001-91" << int(S::Refused) << "" << false << false;
        QTest::newRow("alphanumeric CNPJ")
            << kIeAlfa << kCnpjAlfa << int(S::Granted) << "ALFA0001" << false << false;
        QTest::newRow("alphanumeric, lower case")
            << kIeAlfa << "12abc34501de35" << int(S::Granted) << "ALFA0001" << false << false;
        // Another valid CNPJ with the same digits: the letters tell them apart.
        QTest::newRow("alphanumeric, other letters")
            << kIeAlfa << "12.AMC.345/01DE-35" << int(S::Refused) << "" << false << false;
        QTest::newRow("empty fields") << ""
                                      << "" << int(S::Refused) << "" << false << false;
    }

    void keyOperation() {
        QFETCH(QString, ie);
        QFETCH(QString, cnpj);
        QFETCH(int, status);
        QFETCH(QString, chave);
        QFETCH(bool, simples);
        QFETCH(bool, secure);
        if (secure)
            m_folder->setServer(m_secureServer.host(), m_secureServer.port(), true);
        const KeyAnswer answer = keyAnswer(ie, cnpj);
        QCOMPARE(int(answer.status), status);
        QCOMPARE(answer.chave, chave);
        QCOMPARE(answer.simples, simples);
        if (answer.status == KeyAnswer::Status::Granted)
            QCOMPARE(answer.serverDate, QDateTime(QDate(2026, 6, 15), QTime(10, 30)));
    }

    void wrongClientKeyIsRefused() {
        const Result<QString> answer =
            soapAnswer(QStringLiteral("Transferencia.ecnpj"), {{QStringLiteral("ie"), kIeA},
                                                               {QStringLiteral("cnpj"), kCnpj},
                                                               {QStringLiteral("key"), QStringLiteral("x")}});
        QVERIFY(answer.ok());
        QCOMPARE(GetResult(*answer, QStringLiteral("return")), QStringLiteral("NAO_AUTORIZADO"));
    }

    void keyAnswerReading_data() {
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("simples");
        QTest::addColumn<QString>("chave");

        using S = KeyAnswer::Status;
        const QString head = QStringLiteral("ECNPJ AUTORIZADO    ") + kServerDate;
        QTest::newRow("S at 51") << head + QStringLiteral(" SIMPLES = S CHAVE = ABCD1234") << int(S::Granted)
                                 << true << "ABCD1234";
        QTest::newRow("lower-case s is not S") << head + QStringLiteral(" SIMPLES = s CHAVE = ABCD1234")
                                               << int(S::Granted) << false << "ABCD1234";
        QTest::newRow("only 61-68 is the key") << head + QStringLiteral(" SIMPLES = N CHAVE = ABCD1234XYZ")
                                               << int(S::Granted) << false << "ABCD1234";
        QTest::newRow("one character short")
            << head + QStringLiteral(" SIMPLES = S CHAVE = ABCD123") << int(S::Failed) << false << "";
        QTest::newRow("no date at 21-39")
            << QStringLiteral("ECNPJ AUTORIZADO    não é uma data  SIMPLES = S CHAVE = "
                              "ABCD1234")
            << int(S::Failed) << false << "";
        QTest::newRow("refusal") << QStringLiteral("NAO_AUTORIZADO") << int(S::Refused) << false << "";
        QTest::newRow("refusal inside a longer text")
            << QStringLiteral("ERRO: NAO_AUTORIZADO PARA ESTA IE") << int(S::Refused) << false << "";
        QTest::newRow("empty") << QString() << int(S::Failed) << false << "";
    }

    void keyAnswerReading() {
        QFETCH(QString, result);
        QFETCH(int, status);
        QFETCH(bool, simples);
        QFETCH(QString, chave);
        const QString envelope =
            QStringLiteral("<?xml version=\"1.0\"?><e:Envelope xmlns:e=\"urn:e\"><e:Body><r>"
                           "<return>") +
            result.toHtmlEscaped() + QStringLiteral("</return></r></e:Body></e:Envelope>");
        const KeyAnswer answer = KeyRequest::read(envelope);
        QCOMPARE(int(answer.status), status);
        QCOMPARE(answer.simples, simples);
        QCOMPARE(answer.chave, chave);
    }

    // Steps 1 to 8 of OK, in their order; nothing is written when one fails.
    void creationChecks_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("title");

        const QString fiscora = QStringLiteral("Fiscora");
        QTest::newRow("IE incomplete") << "txtIE"
                                       << "110.042.490"
                                       << "Inscrição Estadual preenchida incorretamente" << fiscora;
        QTest::newRow("IE check digits") << "txtIE"
                                         << "110.042.490.115"
                                         << "Inscrição Estadual inválida" << fiscora;
        QTest::newRow("name empty") << "txtRazaoSocial"
                                    << ""
                                    << "Razão Social preenchida incorretamente" << fiscora;
        QTest::newRow("CNPJ partly typed, before its check digits")
            << "txtCNPJ"
            << "11.222.333/0"
            << "CNPJ preenchido incorretamente" << fiscora;
        QTest::newRow("CNPJ check digits") << "txtCNPJ"
                                           << "11.222.333/0001-82"
                                           << "CNPJ preenchido é inválido" << fiscora;
        QTest::newRow("CNAE incomplete") << "txtCNAE"
                                         << "4711-3"
                                         << "CNAE preenchido incorretamente" << fiscora;
        QTest::newRow("no key") << "Chave"
                                << ""
                                << "Chave não informada" << fiscora;
        QTest::newRow("field error pending") << "erroMsg"
                                             << "CNPJ Inválido"
                                             << "Corrija os erros antes de prosseguir"
                                             << "fiscora";
    }

    void creationChecks() {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, message);
        QFETCH(QString, title);
        TestMessageBox boxes;
        QPointer<frmtbl_CriaContribuinte> window = new frmtbl_CriaContribuinte(sharedServices());
        window->show();
        fillCreation(window, {});
        if (field == u"erroMsg")
            child<QLabel>(window, "erroMsg")->setText(value);
        else
            window->findChild<QLineEdit*>(field)->setText(value);
        press(window, "cmdOK");
        QCOMPARE(boxes.texts(), QStringList{message});
        QCOMPARE(boxes.shown().first().title, title);
        QCOMPARE(boxes.shown().first().icon, title == u"fiscora" ? MessageIcon::None : MessageIcon::Critical);
        QCoreApplication::processEvents();
        QVERIFY(window && window->isVisible());
        QVERIFY(storedTaxpayers().isEmpty());
    }

    void checksStopAtTheFirstFailure() {
        TestMessageBox boxes;
        auto* window = new frmtbl_CriaContribuinte(sharedServices());
        // Every field wrong: only the IE is reported.
        press(window, "cmdOK");
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Inscrição Estadual preenchida incorretamente")});
    }

    void createSavesEveryFieldAndCloses_data() {
        QTest::addColumn<QString>("razao");
        QTest::addColumn<QString>("ccm");
        QTest::addColumn<bool>("simples");
        QTest::newRow("apostrophe in the name") << "Metalúrgica Serra d'Água Ltda"
                                                << "10.245-7" << true;
        QTest::newRow("name of blanks, no municipal registration") << "   "
                                                                   << "" << false;
    }

    void createSavesEveryFieldAndCloses() {
        QFETCH(QString, razao);
        QFETCH(QString, ccm);
        QFETCH(bool, simples);
        TestMessageBox boxes;
        QPointer<frmtbl_CriaContribuinte> window = new frmtbl_CriaContribuinte(sharedServices());
        window->show();
        Fields f;
        f.razao = razao;
        f.ccm = ccm;
        f.simples = simples;
        fillCreation(window, f);
        press(window, "cmdOK");
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("O contribuinte foi criado!")});
        QCOMPARE(boxes.shown().first().title, QStringLiteral("Fiscora"));
        QCOMPARE(boxes.shown().first().icon, MessageIcon::None);
        QTRY_VERIFY(window.isNull());
        const QList<Taxpayer> stored = storedTaxpayers();
        QCOMPARE(stored.size(), 1);
        const Taxpayer& row = stored.first();
        QCOMPARE(row.IE, kIeA);
        QCOMPARE(row.RazaoSocial, razao);
        QCOMPARE(row.Cnpj, kCnpj);
        QCOMPARE(row.Cnae, QStringLiteral("4711-3/02"));
        QCOMPARE(row.Chave, QStringLiteral("TESTE001"));
        QCOMPARE(row.CCM, ccm);
        QCOMPARE(row.OptanteSimples, simples);
    }

    void duplicateIeIsReportedInTheLabel() {
        QVERIFY(insertTaxpayer(fiscora::test::sharedSeams().folder,
                               {kIeA, QStringLiteral("Existente"), kCnpj, QStringLiteral("4711-3/02"),
                                QStringLiteral("TESTE001"), QString(), false}));
        TestMessageBox boxes;
        auto* window = new frmtbl_CriaContribuinte(sharedServices());
        window->show();
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QLineEdit* ie = edit(window, "txtIE");
        QLineEdit* cnpj = edit(window, "txtCNPJ");
        QLabel* erroMsg = child<QLabel>(window, "erroMsg");

        // Typed as a user would, then left.
        ie->setFocus();
        ie->home(false);
        QTest::keyClicks(ie, QStringLiteral("110042490114"));
        QCOMPARE(ie->displayText(), kIeA);
        cnpj->setFocus();
        QCOMPARE(erroMsg->text(), QStringLiteral("Contribuinte já cadastrado."));
        // A valid CNPJ left afterwards clears the shared label...
        cnpj->home(false);
        QTest::keyClicks(cnpj, QStringLiteral("11222333000181"));
        edit(window, "txtCNAE")->setFocus();
        QCOMPARE(erroMsg->text(), QString());
        // ...but OK looks the IE up again and refuses without a message box.
        fillCreation(window, {});
        press(window, "cmdOK");
        QCOMPARE(erroMsg->text(), QStringLiteral("Contribuinte já cadastrado."));
        QVERIFY(boxes.shown().isEmpty());
        QCOMPARE(storedTaxpayers().size(), 1);
        QVERIFY(window->isVisible());
    }

    void leavingFieldsReportsTheirErrors_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("label");
        QTest::newRow("invalid IE") << "txtIE"
                                    << "110.042.490.115"
                                    << "Inscrição Estadual inválida.";
        QTest::newRow("new IE") << "txtIE" << kIeA << "";
        QTest::newRow("invalid CNPJ") << "txtCNPJ"
                                      << "11.222.333/0001-82"
                                      << "CNPJ Inválido";
        QTest::newRow("valid CNPJ") << "txtCNPJ" << kCnpj << "";
    }

    void leavingFieldsReportsTheirErrors() {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, label);
        TestMessageBox boxes;
        auto* window = new frmtbl_CriaContribuinte(sharedServices());
        window->show();
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        child<QLabel>(window, "erroMsg")->setText(QStringLiteral("anterior"));
        QLineEdit* input = window->findChild<QLineEdit*>(field);
        input->setFocus();
        input->setText(value);
        edit(window, "txtRazaoSocial")->setFocus();
        QCOMPARE(child<QLabel>(window, "erroMsg")->text(), label);
        QVERIFY(boxes.shown().isEmpty());
    }

    // The key request against the real server.
    void keyRequest_data() {
        QTest::addColumn<QString>("accountant");
        QTest::addColumn<QString>("ie");
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<bool>("userChecked");
        QTest::addColumn<QString>("chave");
        QTest::addColumn<bool>("simples");
        QTest::addColumn<QStringList>("messages");

        const QString cpf = QStringLiteral("111.444.777-35");
        const QString empresa = QStringLiteral("empresa");
        QTest::newRow("company's certificate, Simples")
            << cpf << kIeA << empresa << false << "TESTE001" << true << QStringList{};
        QTest::newRow("not Simples unchecks the user's box")
            << cpf << kIeB << empresa << true << "TESTE002" << false << QStringList{};
        QTest::newRow("accountant's certificate")
            << cpf << kIeA << "contador" << false << "TESTE001" << true << QStringList{};
        QTest::newRow("no accountant, someone else's certificate")
            << "" << kIeA << "terceiro" << false << "TESTE001" << true << QStringList{};
        QTest::newRow("distribution points unreadable: reported, key still fetched")
            << cpf << kIeA << "cdp-malformado" << false << "TESTE001" << true
            << QStringList{CertificateTexts::cdpFailure(0x8009310B)};
        QTest::newRow("certificate of neither") << cpf << kIeA << "terceiro" << false << "" << false
                                                << QStringList{CertificateTexts::contentRefused};
        QTest::newRow("refused company")
            << cpf << kIeUnknown << empresa << false << "" << false << QStringList{kRefusal};
        QTest::newRow("server date after the certificate's end")
            << cpf << kIeA << "expirado" << false << "" << false << QStringList{CertificateTexts::expired};
        QTest::newRow("server date before the certificate's start")
            << cpf << kIeA << "futuro" << false << "" << false << QStringList{CertificateTexts::expired};
    }

    void keyRequest() {
        QFETCH(QString, accountant);
        QFETCH(QString, ie);
        QFETCH(QString, certificate);
        QFETCH(bool, userChecked);
        QFETCH(QString, chave);
        QFETCH(bool, simples);
        QFETCH(QStringList, messages);
        if (!accountant.isEmpty())
            saveAccountant(accountant);
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        chooser.queueChoice(fixtureCertificate(certificate).fingerprint());
        auto* window = new frmtbl_CriaContribuinte(sharedServices());
        Fields f;
        f.ie = ie;
        f.chave = QString();
        f.simples = userChecked;
        fillCreation(window, f);
        const qsizetype before = m_server.requests().size();
        press(window, "Command1");
        QTRY_VERIFY(window->isEnabled()); // the server has answered
        QCOMPARE(boxes.texts(), messages);
        QCOMPARE(edit(window, "Chave")->text(), chave);
        QCOMPARE(child<QCheckBox>(window, "flag_optantesimples")->isChecked(),
                 chave.isEmpty() ? userChecked : simples);
        QCOMPARE(window->certificado(), std::optional(fixtureCertificate(certificate)));
        // A refused certificate asks nothing of the server.
        const bool asked = messages != QStringList{CertificateTexts::contentRefused};
        QTRY_COMPARE(m_server.requests().size(), before + (asked ? 1 : 0));
        QVERIFY(storedTaxpayers().isEmpty()); // nothing saved before OK
        if (!messages.isEmpty() && messages.first() != CertificateTexts::cdpFailure(0x8009310B)) {
            const MessageRequest& box = boxes.shown().first();
            if (box.text == kRefusal) {
                QCOMPARE(box.title, QStringLiteral("Fiscora"));
                QCOMPARE(box.icon, MessageIcon::Critical);
            } else if (box.text == CertificateTexts::expired) {
                QCOMPARE(box.title, QStringLiteral("fiscora"));
                QCOMPARE(box.icon, MessageIcon::None);
            }
        }
    }

    void keyRequestChecksTheFieldsFirst() {
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        auto* window = new frmtbl_CriaContribuinte(sharedServices());
        Fields f;
        f.cnae = QStringLiteral("47");
        fillCreation(window, f);
        press(window, "Command1");
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("CNAE preenchido incorretamente")});
        QVERIFY(chooser.requests().isEmpty());
    }

    void keyRequestCancelChangesNothing() {
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        chooser.queueCancel();
        auto* window = new frmtbl_CriaContribuinte(sharedServices());
        fillCreation(window, {});
        const qsizetype before = m_server.requests().size();
        press(window, "Command1");
        QCOMPARE(chooser.requests().size(), 1);
        QCOMPARE(chooser.requests().first().parent, window);
        QVERIFY(boxes.shown().isEmpty());
        QCOMPARE(edit(window, "Chave")->text(), QStringLiteral("TESTE001"));
        QVERIFY(!window->certificado().has_value());
        QCOMPARE(m_server.requests().size(), before);
    }

    // By keyboard alone: Return on the key button fetches the key, the next Return saves.
    void returnAfterTheKeySaves() {
        saveAccountant(QStringLiteral("111.444.777-35"));
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        chooser.queueChoice(fixtureCertificate(QStringLiteral("empresa")).fingerprint());
        QPointer<frmtbl_CriaContribuinte> window = new frmtbl_CriaContribuinte(sharedServices());
        Fields f;
        f.chave = QString();
        fillCreation(window, f);
        window->show();
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        child<QPushButton>(window, "Command1")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_COMPARE(edit(window, "Chave")->text(), QStringLiteral("TESTE001"));
        QTRY_VERIFY(window->isEnabled());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(chooser.requests().size(), 1);
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("O contribuinte foi criado!")});
        QTRY_VERIFY(!window);
        QCOMPARE(storedTaxpayers().size(), 1);
    }

    // The key request keeps events flowing: a window closed meanwhile is gone when the answer comes.
    void closedDuringTheKeyRequest() {
        saveAccountant(QStringLiteral("111.444.777-35"));
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        chooser.queueChoice(fixtureCertificate(QStringLiteral("empresa")).fingerprint());
        QPointer<frmtbl_CriaContribuinte> window = new frmtbl_CriaContribuinte(sharedServices());
        window->show();
        Fields f;
        f.chave = QString();
        fillCreation(window, f);
        QTimer::singleShot(0, window, &QWidget::close);
        press(window, "Command1");
        QTRY_VERIFY(!window);
        QVERIFY(boxes.shown().isEmpty());
        QVERIFY(storedTaxpayers().isEmpty());
    }

    void keyRequestFailures_data() {
        QTest::addColumn<QString>("failure");
        QTest::newRow("server unreachable") << "servidor";
        QTest::newRow("database missing") << "banco";
    }

    void keyRequestFailures() {
        QFETCH(QString, failure);
        if (failure == u"servidor")
            m_folder->setServer(QStringLiteral("127.0.0.1"), 1); // nothing listens there
        else
            QVERIFY(QFile::remove(m_folder->file(QStringLiteral("fiscora.mdb"))));
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        chooser.queueChoice(fixtureCertificate(QStringLiteral("empresa")).fingerprint());
        auto* window = new frmtbl_CriaContribuinte(sharedServices());
        fillCreation(window, {});
        press(window, "Command1");
        QTRY_VERIFY(window->isEnabled());
        QCOMPARE(boxes.texts(), QStringList{CertificateTexts::componentFailure()});
        QCOMPARE(boxes.shown().first().title, QStringLiteral("fiscora"));
        QCOMPARE(edit(window, "Chave")->text(), QStringLiteral("TESTE001"));
    }

    void closingEnablesTheMainWindow_data() {
        QTest::addColumn<QString>("route");
        QTest::newRow("Cancelar") << "cancelar";
        QTest::newRow("closing the window") << "fechar";
    }

    // Opened from the main window: the creation window, and the edit window, which outlives the
    // update list that opened it.
    void closingEnablesTheMainWindow() {
        QFETCH(QString, route);
        TestMessageBox boxes;
        saveAccountant(QStringLiteral("111.444.777-35"));
        QVERIFY(insertTaxpayer(sharedSeams().folder,
                               {kIeA, QStringLiteral("Empresa Teste"), kCnpj, QStringLiteral("4711-3/02"),
                                QStringLiteral("TESTE001"), QString(), false}));
        child<QAction>(m_main.get(), "mnContribuinteNovo")->trigger();
        QPointer<QWidget> create = window(QStringLiteral("frmtbl_CriaContribuinte"));
        child<QAction>(m_main.get(), "mnAtualizar")->trigger();
        QPointer<QWidget> list = window(QStringLiteral("frmtbl_atualizarContribuinte"));
        QVERIFY(create && list);
        press(list, "cmdOK");
        QPointer<QWidget> change = window(QStringLiteral("frmtbl_CadastroContribuinte"));
        QVERIFY(change);
        QTRY_VERIFY(list.isNull());
        for (QWidget* opened : {create.data(), change.data()}) {
            QPointer<QWidget> guard = opened;
            m_main->setEnabled(false);
            if (route == u"cancelar")
                press(opened, "cmdCancelar");
            else
                opened->close();
            QVERIFY(m_main->isEnabled());
            QTRY_VERIFY(guard.isNull());
        }
        QCOMPARE(storedTaxpayers().size(), 1);
        QVERIFY(boxes.shown().isEmpty());
    }

    void importButtonOpensTheImportWindow() {
        auto* window = new frmtbl_CriaContribuinte(sharedServices());
        window->show();
        press(window, "Command2");
        QWidget* import = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() == u"ImportarEmpresas" && top->isVisible())
                import = top;
        }
        QVERIFY(import);
        QCOMPARE(import->windowTitle(),
                 QStringLiteral("Cadastro de Empresas - Através do Arquivo NovaGIA - Importação"));
        QVERIFY(window->isVisible());
    }

    void editChangesOnlyWhatItMay_data() {
        QTest::addColumn<QString>("razao");
        QTest::addColumn<QString>("cnae");
        QTest::addColumn<QString>("ccm");
        QTest::addColumn<bool>("simples");
        QTest::newRow("only the Simples box") << "Existente d'Oeste"
                                              << "4711-3/02"
                                              << "10.245-7" << true;
        QTest::newRow("name, CNAE and municipal registration") << "Novo Nome d'Água"
                                                               << "1091-1/02"
                                                               << "" << false;
    }

    void editChangesOnlyWhatItMay() {
        QFETCH(QString, razao);
        QFETCH(QString, cnae);
        QFETCH(QString, ccm);
        QFETCH(bool, simples);
        const Taxpayer original{kIeA,
                                QStringLiteral("Existente d'Oeste"),
                                kCnpj,
                                QStringLiteral("4711-3/02"),
                                QStringLiteral("TESTE001"),
                                QStringLiteral("10.245-7"),
                                false};
        const Taxpayer other{kIeB,
                             QStringLiteral("Outra"),
                             kCnpj,
                             QStringLiteral("4711-3/02"),
                             QStringLiteral("TESTE002"),
                             QString(),
                             true};
        QVERIFY(insertTaxpayer(fiscora::test::sharedSeams().folder, original));
        QVERIFY(insertTaxpayer(fiscora::test::sharedSeams().folder, other));
        TestMessageBox boxes;
        QPointer<frmtbl_CadastroContribuinte> window = new frmtbl_CadastroContribuinte(sharedSeams()());
        window->fill(original.IE, original.RazaoSocial, original.Cnpj, original.Cnae, original.Chave,
                     original.CCM, original.OptanteSimples);
        window->show();
        QVERIFY(!edit(window, "txtIE")->isEnabled());
        QVERIFY(!edit(window, "txtCNPJ")->isEnabled());
        QCOMPARE(edit(window, "txtIE")->displayText(), kIeA);
        QCOMPARE(edit(window, "txtCNPJ")->displayText(), kCnpj);
        edit(window, "txtRazaoSocial")->setText(razao);
        edit(window, "txtCNAE")->setText(cnae);
        edit(window, "txtInscMunicipal")->setText(ccm);
        child<QCheckBox>(window, "flag_optantesimples")->setChecked(simples);
        press(window, "cmdOK");
        QCOMPARE(boxes.texts(),
                 QStringList{QStringLiteral("O dados cadastrais do contribuinte foram atualizados")});
        QCOMPARE(boxes.shown().first().title, QStringLiteral("Fiscora"));
        QTRY_VERIFY(window.isNull());

        const auto found = findTaxpayer(fiscora::test::sharedSeams().folder, kIeA);
        QVERIFY(found && *found);
        const Taxpayer& stored = **found;
        QCOMPARE(stored.RazaoSocial, razao);
        QCOMPARE(stored.Cnae, cnae);
        QCOMPARE(stored.CCM, ccm);
        QCOMPARE(stored.OptanteSimples, simples);
        QCOMPARE(stored.Cnpj, original.Cnpj);
        QCOMPARE(stored.Chave, original.Chave);
        const Taxpayer untouched =
            findTaxpayer(fiscora::test::sharedSeams().folder, kIeB).valueOr({}).value_or(Taxpayer{});
        QCOMPARE(untouched.RazaoSocial, other.RazaoSocial);
        QCOMPARE(untouched.OptanteSimples, true);
    }

    // The selection keeps the rows whose IE, name or CNPJ match what is typed; OK acts on a row shown.
    void searchKeepsTheMatchingRows_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("IE digits") << "110042" << QStringList{kIeA};
        QTest::newRow("name without accents or case") << "RIBEIRAO verde" << QStringList{kIeA};
        QTest::newRow("CNPJ digits") << "45997418" << QStringList{kIeB};
        QTest::newRow("formatted CNPJ part") << "333/0001" << QStringList{kIeA};
        QTest::newRow("words in different fields") << "padaria 648" << QStringList{kIeB};
        QTest::newRow("nothing") << "  " << QStringList{kIeA, kIeB};
        QTest::newRow("no match") << "zzz" << QStringList{};
    }
    void searchKeepsTheMatchingRows() {
        QFETCH(QString, typed);
        QFETCH(QStringList, shown);
        QVERIFY(insertTaxpayer(fiscora::test::sharedSeams().folder,
                               {kIeA,
                                QStringLiteral("Comercial Ribeirão Verde Ltda"),
                                kCnpj,
                                QStringLiteral("4711-3/02"),
                                QStringLiteral("TESTE001"),
                                {},
                                false}));
        QVERIFY(insertTaxpayer(sharedSeams().folder, {kIeB,
                                                      QStringLiteral("Padaria Estrela"),
                                                      QStringLiteral("45.997.418/0001-53"),
                                                      QStringLiteral("4711-3/02"),
                                                      QStringLiteral("TESTE002"),
                                                      {},
                                                      false}));
        auto* window = new frmtbl_SelecionaContribuinte(m_session, sharedSeams()());
        window->show();
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        auto* search = edit(window, "txtPesquisa");
        QCOMPARE(QApplication::focusWidget(), search);
        auto* grid = child<QTableWidget>(window, "GridSelContribuinte");
        // The second row is current before the search: it stays only while it is shown.
        grid->setCurrentCell(1, 0);
        QTest::keyClicks(search, typed);
        QStringList visible;
        for (int row = 0; row < grid->rowCount(); ++row)
            if (!grid->isRowHidden(row))
                visible.append(grid->item(row, 0)->text());
        QCOMPARE(visible, shown);
        const int current = grid->currentRow();
        QCOMPARE(current >= 0 ? grid->item(current, 0)->text() : QString(),
                 shown.contains(kIeB) ? kIeB : shown.value(0));
    }

    // Typed in lower case, keyed by its own certificate, saved, listed and edited like any other.
    void alphanumericCnpjCompany() {
        saveAccountant(QStringLiteral("111.444.777-35"));
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        const Certificate certificate = Certificate::fromDer([] {
            QFile file(kAlfaCertificate);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }());
        QCOMPARE(certificate.document(), QStringLiteral("12ABC34501DE35"));
        chooser.queueChoice(certificate.fingerprint());
        QPointer<frmtbl_CriaContribuinte> create = new frmtbl_CriaContribuinte(sharedServices());
        create->show();
        Fields f;
        f.ie = kIeAlfa;
        f.cnpj.clear();
        f.chave.clear();
        fillCreation(create, f);
        QLineEdit* cnpj = edit(create, "txtCNPJ");
        cnpj->setFocus();
        cnpj->setCursorPosition(0);
        QTest::keyClicks(cnpj, QStringLiteral("12abc34501de3x5"));
        QCOMPARE(cnpj->displayText(), kCnpjAlfa);
        press(create, "Command1");
        QTRY_VERIFY(create->isEnabled());
        QCOMPARE(boxes.texts(), QStringList{});
        QCOMPARE(edit(create, "Chave")->text(), QStringLiteral("ALFA0001"));
        press(create, "cmdOK");
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("O contribuinte foi criado!")});
        QTRY_VERIFY(create.isNull());
        QCOMPARE(storedTaxpayers().size(), 1);
        QCOMPARE(storedTaxpayers().first().Cnpj, kCnpjAlfa);

        QPointer<QWidget> list = new frmtbl_atualizarContribuinte(m_session, sharedSeams()());
        list->show();
        auto* grid = child<QTableWidget>(list, "GridSelContribuinte");
        QCOMPARE(grid->item(0, 2)->text(), kCnpjAlfa);
        grid->setCurrentCell(0, 0);
        press(list, "cmdOK");
        QTRY_VERIFY(list.isNull());
        QWidget* change = nullptr;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() == QStringLiteral("frmtbl_CadastroContribuinte") && window->isVisible())
                change = window;
        }
        QVERIFY(change);
        QCOMPARE(edit(change, "txtCNPJ")->displayText(), kCnpjAlfa);
        edit(change, "txtRazaoSocial")->setText(QStringLiteral("Horizonte Digital Serviços Ltda"));
        press(change, "cmdOK");
        const Taxpayer stored = storedTaxpayers().value(0);
        QCOMPARE(stored.RazaoSocial, QStringLiteral("Horizonte Digital Serviços Ltda"));
        QCOMPARE(stored.Cnpj, kCnpjAlfa);
        QCOMPARE(stored.Chave, QStringLiteral("ALFA0001"));
    }

    void editOfADeletedTaxpayer() {
        TestMessageBox boxes;
        auto* window = new frmtbl_CadastroContribuinte(sharedSeams()());
        window->fill(kIeA, QStringLiteral("Sumiu"), kCnpj, QStringLiteral("4711-3/02"),
                     QStringLiteral("TESTE001"), QString(), false);
        press(window, "cmdOK");
        QCOMPARE(child<QLabel>(window, "erroMsg")->text(), QStringLiteral("Contribuinte não cadastrado."));
        QVERIFY(boxes.shown().isEmpty());
        QVERIFY(storedTaxpayers().isEmpty());
    }

    void databaseFailureOnSaveKeepsTheWindow() {
        QVERIFY(QFile::remove(m_folder->file(QStringLiteral("fiscora.mdb"))));
        TestMessageBox boxes;
        auto* window = new frmtbl_CriaContribuinte(sharedServices());
        window->show();
        fillCreation(window, {});
        press(window, "cmdOK");
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown().first().title, QStringLiteral("fiscora"));
        QVERIFY(boxes.shown().first().text.startsWith(QStringLiteral("\r\nVB Error # ")));
        QVERIFY(window->isVisible());
    }

    void screenshots() {
        auto* create = new frmtbl_CriaContribuinte(sharedServices());
        fillCreation(create, {});
        child<QLabel>(create, "erroMsg")->setText(QStringLiteral("Contribuinte já cadastrado."));
        auto* change = new frmtbl_CadastroContribuinte(sharedSeams()());
        // Letters are wider than digits: the alphanumeric CNPJ must still show whole.
        change->fill(kIeAlfa, QStringLiteral("Metalúrgica Serra d'Água Ltda"),
                     QStringLiteral("WW.WWW.WWW/WWWW-00"), QStringLiteral("2599-3/99"),
                     QStringLiteral("SA5N4W6X"), QStringLiteral("31.870-2"), false);
        for (QWidget* window : {static_cast<QWidget*>(create), static_cast<QWidget*>(change)}) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QVERIFY(window->grab().save(screenshotFolder() + QLatin1Char('/') + window->objectName() +
                                        QStringLiteral(".png")));
            // Masked fields show their whole text.
            for (const char* name : {"txtIE", "txtCNPJ", "txtCNAE"}) {
                QLineEdit* field = edit(window, name);
                QVERIFY(field->width() >= field->fontMetrics().horizontalAdvance(field->displayText()) + 8);
            }
        }
    }
};

QTEST_MAIN(ContribuinteWindowsTest)
#include "ContribuinteWindowsTest.moc"
