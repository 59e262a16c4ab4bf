// Certificates on tokens, with SoftHSM2 as a real token: made with softhsm2-util, filled with the
// test certificates by pkcs11-tool, read through p11-kit's proxy and the module named in
// fiscora.ini, and chosen in the real chooser.
#include "certificates/CertificateStore.h"
#include "certificates/CertificateTexts.h"
#include "certificates/PersonalCertificateSource.h"
#include "certificates/Pkcs11CertificateSource.h"
#include "gui/CertificateDialog.h"
#include "gui/CertificateListModel.h"
#include "gui/CertificateSelection.h"
#include "gui/DialogCertificateChooser.h"
#include "gui/frmtbl_CriaContribuinte.h"
#include "support/LocalTables.h"
#include "support/ProgramFolderFixture.h"
#include "support/SeedData.h"
#include "support/ServerLauncher.h"
#include "support/TestCertificateChooser.h"
#include "support/TestMessageBox.h"
#include "support/TestServices.h"
#include "support/TopLevelWindows.h"
#include "support/Widgets.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <utility>

using namespace fiscora;
using namespace fiscora::test;

namespace {

using Outcome = CertificateSelection::Outcome;

const QString kCompanyToken = QStringLiteral("Empresa e Contador");
const QString kEmptyToken = QStringLiteral("Vazio");
const QString kRemovableToken = QStringLiteral("Removivel");
const QString kPin = QStringLiteral("1234");

QString softHsmModule() {
    for (const char* path :
         {"/usr/lib/softhsm/libsofthsm2.so", "/usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so"}) {
        if (QFileInfo(QString::fromLatin1(path)).isFile())
            return QString::fromLatin1(path);
    }
    return {};
}

// Runs a tool to its end; its output when it fails.
QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000))
        return program + QStringLiteral(" não terminou");
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return program + QStringLiteral(": ") + QString::fromLocal8Bit(process.readAll());
    return {};
}

// The rows of the chooser as shown, by holder.
QHash<QString, QStringList> rows(QWidget* dialog) {
    QHash<QString, QStringList> shown;
    const QAbstractItemModel* model = certificateGrid(dialog)->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column)
            cells.append(model->index(row, column).data().toString());
        shown.insert(cells.first(), cells);
    }
    return shown;
}

QString status(QWidget* dialog) {
    return dialog->findChild<QLabel*>(QStringLiteral("lblSituacao"))->text();
}

const QString kReading = QStringLiteral("Lendo tokens…");

// The source's listing once its tokens have been read.
Result<CertificateSource::Listing> readListing(const CertificateSource& source) {
    QObject context;
    bool read = false;
    source.read(&context, [&read] { read = true; });
    if (!QTest::qWaitFor([&read] { return read; }, 20000))
        return AppError::message(QStringLiteral("a leitura dos tokens não terminou"));
    return source.listWithProblems();
}

// In the open chooser, picks the row of that holder and presses OK.
void chooseInDialog(const QString& holder) {
    whenModal([holder](QWidget* dialog) {
        QTRY_VERIFY_WITH_TIMEOUT(!status(dialog).contains(kReading), 20000);
        QTableView* table = certificateGrid(dialog);
        for (int row = 0; row < table->model()->rowCount(); ++row) {
            if (table->model()->index(row, CertificateListModel::Titular).data().toString() == holder)
                table->selectRow(row);
        }
        dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
}

} // namespace

class Pkcs11Test final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_module;
    DialogCertificateChooser m_dialogChooser{sharedSeams()()};
    const TokenReader m_tokens{buildProgramFolder() + QStringLiteral("/fiscora-leitor-pkcs11"),
                               TokenReader::kDefaultTimeLimitMs, &sharedSeams().folder};

    QString fixture(const char* name) const {
        return certificateFixture(QString::fromLatin1(name) + QStringLiteral(".cer"));
    }

    QString makeToken(const QString& label, const QList<const char*>& certificates) const {
        QString failure =
            run(QStringLiteral("softhsm2-util"),
                {QStringLiteral("--init-token"), QStringLiteral("--free"), QStringLiteral("--label"), label,
                 QStringLiteral("--pin"), kPin, QStringLiteral("--so-pin"), kPin});
        int id = 1;
        for (const char* name : certificates) {
            if (!failure.isEmpty())
                break;
            failure = run(QStringLiteral("pkcs11-tool"),
                          {QStringLiteral("--module"), m_module, QStringLiteral("--token-label"), label,
                           QStringLiteral("--login"), QStringLiteral("--pin"), kPin,
                           QStringLiteral("--write-object"), fixture(name), QStringLiteral("--type"),
                           QStringLiteral("cert"), QStringLiteral("--id"),
                           QString::number(id++).rightJustified(2, u'0'), QStringLiteral("--label"),
                           QString::fromLatin1(name)});
        }
        return failure;
    }

    // A program folder whose fiscora.ini names SoftHSM's module, with an accountant registered.
    void configure(ProgramFolderFixture& folder, const QString& accountant = {}) const {
        folder.writeFile(QStringLiteral("fiscora.ini"), folder.readFile(QStringLiteral("fiscora.ini")) +
                                                            QByteArrayLiteral("[certificados]\r\nmodulos=") +
                                                            m_module.toUtf8() + QByteArrayLiteral("\r\n"));
        if (accountant.isEmpty())
            return;
        const Status saved = saveTestAccountant(accountant);
        QVERIFY2(saved, qPrintable(saved.error().description));
    }

private Q_SLOTS:
    void initTestCase() {
        m_module = softHsmModule();
        QVERIFY2(!m_module.isEmpty(), "SoftHSM2 não está instalado (scripts/install-deps.sh)");
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).mkpath(QStringLiteral("tokens"));
        QFile conf(m_dir.filePath(QStringLiteral("softhsm2.conf")));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("directories.tokendir = " + m_dir.filePath(QStringLiteral("tokens")).toUtf8() +
                   "\nobjectstore.backend = file\nlog.level = ERROR\n");
        conf.close();
        qputenv("SOFTHSM2_CONF", conf.fileName().toUtf8());

        // The company's e-CNPJ and the accountant's e-CPF with their authority on one token.
        QString failure = makeToken(kCompanyToken, {"empresa", "contador", "ac-teste"});
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        failure = makeToken(kEmptyToken, {});
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        failure = makeToken(kRemovableToken, {"cdp-sem-url"});
        QVERIFY2(failure.isEmpty(), qPrintable(failure));

        const QString imported = m_dir.filePath(QStringLiteral("certificados"));
        qputenv("FISCORA_CERTIFICADOS", imported.toUtf8());
        QVERIFY(CertificateStore(imported).importFile(fixture("terceiro")).ok());
        sharedSeams().certificates.test = &m_dialogChooser;
    }

    void cleanupTestCase() {
        sharedSeams().certificates.test = nullptr;
        qunsetenv("FISCORA_CERTIFICADOS");
    }

    void chooserListsTokenCertificatesBesideImported() {
        ProgramFolderFixture folder;
        configure(folder);
        const PersonalCertificateSource source(m_tokens);
        CertificateDialog dialog(source, sharedSeams()());
        dialog.setWindowTitle(CertificateTexts::keyTitle);
        dialog.setText(CertificateTexts::keyText);
        QTRY_VERIFY_WITH_TIMEOUT(source.isRead(), 20000);

        const QHash<QString, QStringList> shown = rows(&dialog);
        // The authority's certificate on the token is not a holder's; each certificate once,
        // although the proxy and the named module both reach the token.
        QCOMPARE(shown.size(), 4);
        QCOMPARE(shown.value(QStringLiteral("EMPRESA TESTE LTDA:11222333000181")),
                 (QStringList{QStringLiteral("EMPRESA TESTE LTDA:11222333000181"),
                              QStringLiteral("11.222.333/0001-81"), QStringLiteral("AC Valdorra Teste"),
                              QStringLiteral("01/01/2000"), QStringLiteral("31/12/2099"),
                              QStringLiteral("Token Empresa e Contador")}));
        QCOMPARE(shown.value(QStringLiteral("JOSÉ CONTADOR DA SILVA:11144477735")).at(1),
                 QStringLiteral("111.444.777-35"));
        QCOMPARE(shown.value(QStringLiteral("JOSÉ CONTADOR DA SILVA:11144477735")).last(),
                 QStringLiteral("Token Empresa e Contador"));
        QCOMPARE(shown.value(QStringLiteral("EMPRESA CDP SEM URL:11222333000181")).last(),
                 QStringLiteral("Token Removivel"));
        QCOMPARE(shown.value(QStringLiteral("OUTRA PESSOA:12345678909")).last(), QStringLiteral("Importado"));
        QCOMPARE(status(&dialog), QStringLiteral("O token \"Vazio\" não contém certificados."));

        certificateGrid(&dialog)->selectRow(0);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QString captures = buildProgramFolder() + QStringLiteral("/../capturas");
        QDir().mkpath(captures);
        QVERIFY(dialog.grab().save(captures + QStringLiteral("/frmCertificado-token.png")));
    }

    // The selection of the key windows and of the upload windows, with the certificate picked in
    // the chooser from the token.
    void tokenCertificateChecked_data() {
        QTest::addColumn<bool>("transmission");
        QTest::addColumn<QString>("companyCnpj");  // key variant
        QTest::addColumn<QDateTime>("serverDate"); // transmission variant
        QTest::addColumn<QString>("holder");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("message"); // "" = none

        const QString company = QStringLiteral("EMPRESA TESTE LTDA:11222333000181");
        const QString accountant = QStringLiteral("JOSÉ CONTADOR DA SILVA:11144477735");
        const QDateTime today(QDate(2026, 1, 1), QTime(12, 0), Qt::UTC);
        QTest::newRow("key: the accountant's e-CPF")
            << false << QStringLiteral("99999999000191") << QDateTime() << accountant
            << int(Outcome::Accepted) << "";
        QTest::newRow("key: another company's e-CNPJ")
            << false << QStringLiteral("99999999000191") << QDateTime() << company << int(Outcome::Refused)
            << CertificateTexts::contentRefused;
        QTest::newRow("key: distribution points without address")
            << false << QStringLiteral("11222333000181") << QDateTime()
            << QStringLiteral("EMPRESA CDP SEM URL:11222333000181") << int(Outcome::Accepted)
            << CertificateTexts::cdpFailure(0x80092004);
        QTest::newRow("transmission: the accountant's e-CPF")
            << true << QString() << today << accountant << int(Outcome::Accepted) << "";
        QTest::newRow("transmission: the company's e-CNPJ")
            << true << QString() << today << company << int(Outcome::Refused)
            << CertificateTexts::invalidCertificate;
        QTest::newRow("transmission: server date after the end")
            << true << QString() << QDateTime(QDate(2100, 1, 1), QTime(0, 0), Qt::UTC) << accountant
            << int(Outcome::Refused) << CertificateTexts::invalidCertificate;
    }

    void tokenCertificateChecked() {
        QFETCH(bool, transmission);
        QFETCH(QString, companyCnpj);
        QFETCH(QDateTime, serverDate);
        QFETCH(QString, holder);
        QFETCH(int, outcome);
        QFETCH(QString, message);

        ProgramFolderFixture folder;
        configure(folder, QStringLiteral("11144477735"));
        TestMessageBox boxes;
        std::optional<Certificate> selected;
        chooseInDialog(holder);
        if (transmission) {
            bool accepted = false;
            QCOMPARE(int(CertificateSelection::transmissionVariant(
                         sharedSeams()(), sharedSeams().certificates, nullptr, serverDate, &selected,
                         &accepted, PersonalCertificateSource(m_tokens))),
                     outcome);
            QCOMPARE(accepted, outcome == int(Outcome::Accepted));
        } else {
            QCOMPARE(int(CertificateSelection::keyVariant(sharedSeams().messages, sharedSeams().certificates,
                                                          nullptr,
                                                          {true, companyCnpj, QStringLiteral("11144477735")},
                                                          &selected, PersonalCertificateSource(m_tokens))),
                     outcome);
        }
        QVERIFY(selected.has_value());
        QCOMPARE(selected->subjectName(), holder);
        QVERIFY(!selected->tokenLabel().isEmpty());
        if (message.isEmpty()) {
            QVERIFY2(boxes.shown().isEmpty(), qPrintable(boxes.texts().join(u'|')));
        } else {
            QCOMPARE(boxes.shown().size(), 1);
            QCOMPARE(boxes.shown().first().text, message);
        }
    }

    // The key request of the taxpayer window against the real server, with the company's
    // certificate chosen on the token.
    void keyRequestWithTokenCertificate() {
        ServerLauncher server;
        const QStringList seed =
            writeSeed(server,
                      {{QStringLiteral("648.120.377.258"),
                        QStringLiteral("11222333000181"),
                        QStringLiteral("Empresa Teste"),
                        QStringLiteral("TESTE002"),
                        false,
                        {}}},
                      {{QStringLiteral("dataServidor"), QStringLiteral("15/06/2026 10:30:00")}});
        QVERIFY2(server.start(seed), qPrintable(server.errorString()));
        ProgramFolderFixture folder(server.host(), server.port());
        configure(folder, QStringLiteral("11144477735"));
        TestMessageBox boxes;

        Services services = test::testServices();
        services.tokens = m_tokens;
        frmtbl_CriaContribuinte window(services);
        window.findChild<QLineEdit*>(QStringLiteral("txtIE"))->setText(QStringLiteral("648.120.377.258"));
        window.findChild<QLineEdit*>(QStringLiteral("txtRazaoSocial"))
            ->setText(QStringLiteral("Empresa Teste"));
        window.findChild<QLineEdit*>(QStringLiteral("txtCNPJ"))
            ->setText(QStringLiteral("11.222.333/0001-81"));
        window.findChild<QLineEdit*>(QStringLiteral("txtCNAE"))->setText(QStringLiteral("4711-3/02"));
        chooseInDialog(QStringLiteral("EMPRESA TESTE LTDA:11222333000181"));
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
        QTRY_VERIFY(window.isEnabled()); // the server has answered

        QVERIFY2(boxes.shown().isEmpty(), qPrintable(boxes.texts().join(u'|')));
        QCOMPARE(window.findChild<QLineEdit*>(QStringLiteral("Chave"))->text(), QStringLiteral("TESTE002"));
        QVERIFY(window.certificado().has_value());
        QCOMPARE(window.certificado()->tokenLabel(), kCompanyToken);
    }

    // What a module or a token could not give is told; the rest is listed.
    void unreadablePartsReported_data() {
        QTest::addColumn<QStringList>("extraModules");
        QTest::addColumn<QString>("problem");

        QTest::newRow("missing module")
            << QStringList{QStringLiteral("/nao/existe/modulo.so")}
            << QStringLiteral("O módulo PKCS#11 /nao/existe/modulo.so não foi encontrado.");
        const QString notAModule = certificateFixture(QStringLiteral("empresa.cer"));
        QTest::newRow("not a module") << QStringList{notAModule}
                                      << QStringLiteral("O módulo PKCS#11 %1 não pôde ser carregado.")
                                             .arg(QDir::toNativeSeparators(notAModule));
        const QString hangs = QStringLiteral(FISCORA_PKCS11_TEST_MODULES "/libfiscora_modulo_travado.so");
        QTest::newRow("module that hangs")
            << QStringList{hangs}
            << QStringLiteral("O módulo PKCS#11 %1 não respondeu em 3 segundos.").arg(hangs);
        const QString crashes = QStringLiteral(FISCORA_PKCS11_TEST_MODULES "/libfiscora_modulo_quebrado.so");
        QTest::newRow("module that crashes")
            << QStringList{crashes}
            << QStringLiteral("O módulo PKCS#11 %1 terminou de forma anormal.").arg(crashes);
    }

    void unreadablePartsReported() {
        QFETCH(QStringList, extraModules);
        QFETCH(QString, problem);

        const Pkcs11CertificateSource source(TokenReader{m_tokens.helper, 3000, &sharedSeams().folder},
                                             QStringList{m_module} + extraModules);
        const Result<CertificateSource::Listing> listed = readListing(source);
        QVERIFY(listed);
        QCOMPARE(listed->problems,
                 (QStringList{QStringLiteral("O token \"Vazio\" não contém certificados."), problem}));
        QCOMPARE(listed->certificates.size(), 3);
    }

    // The drivers registered with p11-kit are read one by one: one that fails is named, and the
    // tokens of the others are still listed. The reader runs in a mount namespace where p11-kit's
    // registrations are those of the test (p11-kit reads no user's registrations as root).
    void registeredDriversReadOneByOne_data() {
        QTest::addColumn<QString>("driver");
        QTest::addColumn<bool>("named");

        QTest::newRow("driver that does not start") << QStringLiteral("recusa") << true;
        QTest::newRow("driver that cannot list its slots") << QStringLiteral("falha-slots") << true;
        QTest::newRow("driver without slots") << QStringLiteral("sem-slots") << false;
    }

    void registeredDriversReadOneByOne() {
        QFETCH(QString, driver);
        QFETCH(bool, named);

        QTemporaryDir dir;
        const QString registered = dir.filePath(QStringLiteral("modulos"));
        QVERIFY(QDir().mkpath(registered));
        const QString module = QStringLiteral(FISCORA_PKCS11_TEST_MODULES "/libfiscora_modulo_") + driver +
                               QStringLiteral(".so");
        const QList<std::pair<QString, QString>> registrations{{QStringLiteral("teste-softhsm"), m_module},
                                                               {QStringLiteral("teste-driver"), module}};
        for (const auto& [name, path] : registrations) {
            QFile registration(registered + u'/' + name + QStringLiteral(".module"));
            QVERIFY(registration.open(QIODevice::WriteOnly));
            registration.write("module: " + path.toUtf8() + '\n');
        }
        QFile reader(dir.filePath(QStringLiteral("leitor.sh")));
        QVERIFY(reader.open(QIODevice::WriteOnly));
        reader.write(
            "#!/bin/sh\n"
            "ns=--mount; [ \"$(id -u)\" = 0 ] || ns='--user --map-root-user --mount'\n"
            "exec unshare $ns --propagation private sh -c 'mount --bind \"$0\" \"$1\" && shift && exec "
            "\"$@\"' '" +
            registered.toUtf8() + "' '" FISCORA_P11KIT_REGISTRATIONS "' '" +
            (buildProgramFolder() + QStringLiteral("/fiscora-leitor-pkcs11")).toUtf8() + "' \"$@\"\n");
        reader.close();
        QVERIFY(reader.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        ProgramFolderFixture folder;
        const Pkcs11CertificateSource source(
            TokenReader{reader.fileName(), TokenReader::kDefaultTimeLimitMs, &sharedSeams().folder});
        const Result<CertificateSource::Listing> listed = readListing(source);

        QVERIFY(listed);
        QCOMPARE(listed->certificates.size(), 3);
        QStringList expected{QStringLiteral("O token \"Vazio\" não contém certificados.")};
        if (named)
            expected.prepend(
                QStringLiteral("O módulo PKCS#11 do sistema teste-driver (%1) não pôde ser carregado.")
                    .arg(module));
        QStringList problems = listed->problems;
        problems.sort();
        QCOMPARE(problems, expected);
    }

    // While a module is slow to answer, the chooser lists the imported certificates at once and
    // takes input; the event loop never stalls, and the tokens' outcome comes after.
    void chooserUsableWhileTokensAreRead() {
        ProgramFolderFixture folder;
        const QString hangs = QStringLiteral(FISCORA_PKCS11_TEST_MODULES "/libfiscora_modulo_travado.so");
        folder.writeFile(QStringLiteral("fiscora.ini"), folder.readFile(QStringLiteral("fiscora.ini")) +
                                                            QByteArrayLiteral("[certificados]\r\nmodulos=") +
                                                            hangs.toUtf8() + QByteArrayLiteral("\r\n"));
        QElapsedTimer clock;
        qint64 last = 0;
        qint64 longest = 0;
        QTimer ticker;
        ticker.setInterval(10);
        connect(&ticker, &QTimer::timeout, this, [&] {
            longest = qMax(longest, clock.elapsed() - last);
            last = clock.elapsed();
        });
        clock.start();
        ticker.start();

        const PersonalCertificateSource source(TokenReader{m_tokens.helper, 1500, &sharedSeams().folder});
        CertificateDialog dialog(source, sharedSeams()());
        dialog.show();
        QCOMPARE(rows(&dialog).keys(), QStringList{QStringLiteral("OUTRA PESSOA:12345678909")});
        QCOMPARE(status(&dialog), kReading);
        QTest::keyClicks(dialog.findChild<QLineEdit*>(QStringLiteral("txtPesquisa")),
                         QStringLiteral("outra"));
        QVERIFY(dialog.findChild<QPushButton*>(QStringLiteral("cmdOK"))->isEnabled());

        QTRY_VERIFY_WITH_TIMEOUT(source.isRead(), 20000);
        QVERIFY2(status(&dialog).contains(
                     QStringLiteral("O módulo PKCS#11 %1 não respondeu em 2 segundos.").arg(hangs)),
                 qPrintable(status(&dialog)));
        QCOMPARE(dialog.selectedCertificate().subjectName(), QStringLiteral("OUTRA PESSOA:12345678909"));
        QVERIFY2(longest <= 100, qPrintable(QString::number(longest)));
    }

    // Runs last: it deletes a token.
    void tokenRemovedWhileChooserOpen() {
        ProgramFolderFixture folder;
        configure(folder);
        const PersonalCertificateSource source(m_tokens);
        CertificateDialog dialog(source, sharedSeams()());
        dialog.show();
        QTRY_VERIFY_WITH_TIMEOUT(source.isRead(), 20000);
        QVERIFY(rows(&dialog).contains(QStringLiteral("EMPRESA CDP SEM URL:11222333000181")));
        certificateGrid(&dialog)->selectRow(3);
        const Certificate selected = dialog.selectedCertificate();
        QCOMPARE(selected.subjectName(), QStringLiteral("OUTRA PESSOA:12345678909"));

        const QString failure =
            run(QStringLiteral("softhsm2-util"),
                {QStringLiteral("--delete-token"), QStringLiteral("--token"), kRemovableToken});
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        dialog.findChild<QPushButton*>(QStringLiteral("cmdAtualizar"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(source.isRead(), 20000);

        const QHash<QString, QStringList> shown = rows(&dialog);
        QCOMPARE(shown.size(), 3);
        QVERIFY(!shown.contains(QStringLiteral("EMPRESA CDP SEM URL:11222333000181")));
        QCOMPARE(status(&dialog), QStringLiteral("O token \"Vazio\" não contém certificados.\n"
                                                 "O token \"Removivel\" foi removido."));
        QCOMPARE(dialog.selectedCertificate(), selected);
    }
};

QTEST_MAIN(Pkcs11Test)
#include "Pkcs11Test.moc"
