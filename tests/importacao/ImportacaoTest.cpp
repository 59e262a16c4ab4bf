// The company import window against real exports (written by our Jet writer), the real stand-in
// server and a real local database.
#include "certificates/CertificateStore.h"
#include "certificates/CertificateTexts.h"
#include "certificates/PersonalCertificateSource.h"
#include "core/Session.h"
#include "core/UserPreferences.h"
#include "data/AccessReader.h"
#include "data/CompanyExport.h"
#include "data/GiaDatabaseReader.h"
#include "data/NovaGiaLayout.h"
#include "data/TaxpayerTable.h"
#include "gui/CertificateSelection.h"
#include "gui/ImportarEmpresas.h"
#include "jet/JetDatabase.h"
#include "net/KeyRequest.h"
#include "support/Await.h"
#include "support/LocalTables.h"
#include "support/ProgramFolderFixture.h"
#include "support/ScopedEnvironment.h"
#include "support/SeedData.h"
#include "support/ServerLauncher.h"
#include "support/TestCertificateChooser.h"
#include "support/TestFileChooser.h"
#include "support/TestMessageBox.h"
#include "support/TestServices.h"
#include "support/TopLevelWindows.h"
#include "support/Widgets.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>

#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

#include <functional>
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

const QString kFiscora = QStringLiteral("Fiscora");
const QString kConcluida = QStringLiteral("Importação Concluída");

// Companies of the tests' server; kUnknown is not there.
const QStringList kA{QStringLiteral("110.042.490.114"), QStringLiteral("Comércio Alfa Ltda"),
                     QStringLiteral("11.222.333/0001-81"), QStringLiteral("4711-3/02")};
const QStringList kB{QStringLiteral("648.120.377.258"), QStringLiteral("Padaria Beta d'Oeste Ltda"),
                     QStringLiteral("12.345.678/0001-95"), QStringLiteral("1091-1/02")};
const QStringList kC{QStringLiteral("648.135.514.406"), QStringLiteral("Gama Metais Ltda"),
                     QStringLiteral("56.789.012/0001-00"), QStringLiteral("2599-3/99")};
const QStringList kUnknown{QStringLiteral("648.097.729.184"), QStringLiteral("Delta Transportes Ltda"),
                           QStringLiteral("67.890.123/0001-16"), QStringLiteral("4930-2/02")};

QList<SeedCompany> seedCompanies() {
    return {{kA[0], kA[2], kA[1], QStringLiteral("CHAVEAAA"), true, {}},
            {kB[0], kB[2], kB[1], QStringLiteral("CHAVEBBB"), false, {}},
            {kC[0], kC[2], kC[1], QStringLiteral("CHAVECCC"), true, {}}};
}

QString refusal(const QStringList& company) {
    return QStringLiteral("Não é possível cadastrar a empresa: \r\n\r\n") + company[1] +
           QStringLiteral(" \r\nInscrição Estadual: ") + company[0] +
           QStringLiteral("\r\n\r\nEmpresa não está cadastrada nos servidores da Prefeitura.\r\n"
                          "Se a empresa pertencer ao Muncípio, por favor, nos informe imediatamente.");
}

QString duplicate(const QStringList& company) {
    return QStringLiteral("Empresa já cadastrada anteriormente: \r\n\r\n") + company[1] +
           QStringLiteral(" \r\nInscrição Estadual: ") + company[0] +
           QStringLiteral("\r\n\r\nA empresa não será cadastrada, para não gerar duplicidade");
}

QStringList storedIes() {
    QStringList ies;
    for (const Taxpayer& row : storedTaxpayers())
        ies.append(row.IE);
    return ies;
}

} // namespace

class ImportacaoTest final : public QObject {
    Q_OBJECT

private:
    ServerLauncher m_server;
    QTemporaryDir m_dir;
    QTemporaryDir m_certificates;
    std::unique_ptr<ProgramFolderFixture> m_folder;
    Session m_session;

    // An export in NovaGIA's layout holding these companies in tblContribuinte.
    QString writeExport(const QString& name, const QList<QStringList>& companies,
                        const QString& password = NovaGiaLayout::password) {
        jet::Database database = NovaGiaLayout::emptyDatabase();
        database.password = password;
        for (jet::TableData& table : database.tables) {
            if (table.table.name != u"tblContribuinte")
                continue;
            for (const QStringList& company : companies) {
                jet::Row row;
                for (const QString& value : company)
                    row.append(value.isNull() ? jet::Value() : jet::Value(value));
                table.rows.append(row);
            }
        }
        const QString path = m_dir.filePath(name);
        if (const Status written = jet::writeDatabase(path, database); !written)
            qFatal("export not written: %s", qPrintable(written.error().description));
        return path;
    }

    // Clicks the button and waits while the window reads its export, inert meanwhile.
    static void clickAndWait(QWidget* window, const char* button) {
        const QPointer<QWidget> guard(window);
        QTest::mouseClick(child<QPushButton>(window, button), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!guard || guard->isEnabled(), 60000);
    }

    // The window with the export chosen and loaded.
    ImportarEmpresas* loaded(const QString& path) {
        TestFileChooser files;
        files.queuePath(path);
        auto* window = new ImportarEmpresas(sharedServices());
        window->show();
        QTest::mouseClick(child<QPushButton>(window, "Command2"), Qt::LeftButton);
        clickAndWait(window, "Command3");
        return window;
    }

    // Runs the import with the certificate; `during` runs before the key request of company 2.
    // True when the import finished (the window may be gone).
    bool runImport(ImportarEmpresas* window, const QString& certificate,
                   const std::function<void(ImportarEmpresas*)>& during = {}) {
        TestCertificateChooser chooser;
        chooser.queueChoice(fixtureCertificate(certificate).fingerprint());
        bool finished = false;
        connect(window, &ImportarEmpresas::importFinished, this, [&finished] { finished = true; });
        if (during) {
            connect(window, &ImportarEmpresas::importProgress, this, [window, during](int current, int) {
                if (current == 2)
                    during(window);
            });
        }
        const QPointer<ImportarEmpresas> guard(window);
        clickAndWait(window, "Command1");
        if (!finished && (!guard || !guard->importing()))
            return false; // it did not start
        [&] {
            QTRY_VERIFY_WITH_TIMEOUT(finished, 60000);
        }();
        return finished;
    }

    void saveAccountant() {
        const Status saved = saveTestAccountant();
        QVERIFY2(saved, qPrintable(saved.error().description));
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(m_server.start(
                     writeSeed(m_server, seedCompanies(),
                               {{QStringLiteral("dataServidor"), QStringLiteral("15/06/2026 10:30:00")}})),
                 qPrintable(m_server.errorString()));
        qputenv("FISCORA_CERTIFICADOS", m_certificates.path().toUtf8());
        const CertificateStore store;
        for (const char* name : {"contador", "empresa", "terceiro", "expirado"})
            QVERIFY(store.importFile(certificateFixture(QString::fromLatin1(name) + QStringLiteral(".cer")))
                        .ok());
    }

    void cleanupTestCase() { qunsetenv("FISCORA_CERTIFICADOS"); }

    void init() {
        m_folder = std::make_unique<ProgramFolderFixture>(m_server.host(), m_server.port());
        saveAccountant();
    }

    void cleanup() {
        deleteTopLevelWindows();
        m_folder.reset();
    }

    void fileChoiceAndLoad() {
        TestMessageBox boxes;
        TestFileChooser files;
        auto* window = new ImportarEmpresas(sharedServices());
        window->show();
        auto* text1 = child<QLineEdit>(window, "Text1");
        auto* load = child<QPushButton>(window, "Command3");
        auto* grid = child<QTableWidget>(window, "MSFlexGrid1");
        QCOMPARE(text1->text(), QStringLiteral("Selecione o arquivo a importar"));
        QVERIFY(load->isHidden() && grid->isHidden());

        // Cancelled: nothing changes.
        QTest::mouseClick(child<QPushButton>(window, "Command2"), Qt::LeftButton);
        QCOMPARE(files.requests().size(), 1);
        QCOMPARE(files.requests().first().caption, QStringLiteral("Escolha o arquivo"));
        QCOMPARE(files.requests().first().filter, QStringLiteral("Arquivos exportados do NovaGIA (*.mdb)"));
        QCOMPARE(files.requests().first().defaultSuffix, QStringLiteral("mdb"));
        QVERIFY(load->isHidden());

        // An invalid CNPJ (as stored, unmasked) and a name of blanks are red; the rest is not.
        const QString path = writeExport(QStringLiteral("inconsistente.mdb"),
                                         {kA,
                                          {kB[0], kB[1], QStringLiteral("12345678000196"), kB[3]},
                                          {kC[0], QStringLiteral("   "), kC[2], kC[3]},
                                          {kUnknown[0], QString(), kUnknown[2], kUnknown[3]}});
        files.queuePath(path);
        QTest::mouseClick(child<QPushButton>(window, "Command2"), Qt::LeftButton);
        QCOMPARE(text1->text(), path);
        QVERIFY(load->isVisible());
        // Inert while the helper reads the file.
        QTest::mouseClick(load, Qt::LeftButton);
        QVERIFY(!window->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(window->isEnabled(), 60000);
        QVERIFY(boxes.shown().isEmpty());
        QVERIFY(grid->isVisible());
        QCOMPARE(grid->rowCount(), 4);
        const QStringList headers{QStringLiteral("IE"), QStringLiteral("CNPJ"), QStringLiteral("CNAE"),
                                  QStringLiteral("Razão Social")};
        for (int column = 0; column < 4; ++column)
            QCOMPARE(grid->horizontalHeaderItem(column)->text(), headers[column]);
        // The original widths at least, and the texts fit.
        const int widths[] = {100, 120, 80, 333};
        for (int column = 0; column < 4; ++column) {
            QVERIFY(grid->columnWidth(column) >= widths[column]);
            QVERIFY(grid->columnWidth(column) >=
                    grid->fontMetrics().horizontalAdvance(grid->item(0, column)->text()));
        }
        QCOMPARE(grid->item(0, 0)->text(), kA[0]);
        QCOMPARE(grid->item(0, 1)->text(), kA[2]);
        QCOMPARE(grid->item(0, 2)->text(), kA[3]);
        QCOMPARE(grid->item(0, 3)->text(), kA[1] + QLatin1Char(' '));
        QCOMPARE(grid->item(0, 0)->textAlignment(), int(Qt::AlignCenter));
        QCOMPARE(grid->item(3, 3)->text(), QStringLiteral(" "));
        const bool red[] = {false, true, true, true};
        for (int row = 0; row < 4; ++row) {
            for (int column = 0; column < 4; ++column)
                QCOMPARE(grid->item(row, column)->background().color() == QColor(255, 0, 0), red[row]);
        }
        QVERIFY(child<QLabel>(window, "Label1")->isVisible());
        QVERIFY(child<QLabel>(window, "Label2")->isVisible());
        QVERIFY(child<QPushButton>(window, "Command1")->isHidden());
        QVERIFY(window->grab().save(QStringLiteral("/tmp/importar-inconsistente.png")));

        // A clean load shows the button and hides the labels.
        files.queuePath(writeExport(QStringLiteral("limpo.mdb"), {kA, kB}));
        QTest::mouseClick(child<QPushButton>(window, "Command2"), Qt::LeftButton);
        clickAndWait(window, "Command3");
        QCOMPARE(grid->rowCount(), 2);
        QVERIFY(child<QPushButton>(window, "Command1")->isVisible());
        QVERIFY(child<QLabel>(window, "Label1")->isHidden());
        QVERIFY(child<QLabel>(window, "Label2")->isHidden());
        QVERIFY(window->grab().save(QStringLiteral("/tmp/importar-limpo.png")));
    }

    void loadFailures_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        const QString kInvalidFile = GiaDatabaseReader::invalidFileMessage;
        QTest::newRow("empty export") << "vazio" << QStringLiteral("Erro: Arquivo está vazio");
        QTest::newRow("another password") << "senha" << kInvalidFile;
        QTest::newRow("not an Access file") << "texto" << kInvalidFile;
        QTest::newRow("Access file without the table") << "estranho" << kInvalidFile;
    }

    void loadFailures() {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QString path;
        if (kind == u"vazio") {
            path = writeExport(QStringLiteral("vazio.mdb"), {});
        } else if (kind == u"senha") {
            path = writeExport(QStringLiteral("senha.mdb"), {kA}, QStringLiteral("outra"));
        } else if (kind == u"texto") {
            path = m_dir.filePath(QStringLiteral("texto.mdb"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(8192, 'x'));
        } else {
            jet::Database database;
            database.password = NovaGiaLayout::password;
            database.tables.append({jet::Table{QStringLiteral("Clientes"),
                                               {{QStringLiteral("Nome"), jet::ColumnType::Text, 50}},
                                               {}},
                                    {}});
            path = m_dir.filePath(QStringLiteral("estranho.mdb"));
            const Status written = jet::writeDatabase(path, database);
            QVERIFY2(written, qPrintable(written.error().description));
        }
        TestMessageBox boxes;
        // The window first shows a clean load, which a failed load must not leave importable.
        ImportarEmpresas* window = loaded(writeExport(QStringLiteral("antes.mdb"), {kA}));
        QVERIFY(child<QPushButton>(window, "Command1")->isVisible());
        TestFileChooser files;
        files.queuePath(path);
        QTest::mouseClick(child<QPushButton>(window, "Command2"), Qt::LeftButton);
        clickAndWait(window, "Command3");
        QCOMPARE(boxes.texts(), QStringList{message});
        QCOMPARE(boxes.shown().first().title, kFiscora);
        QCOMPARE(boxes.shown().first().icon, MessageIcon::None);
        QVERIFY(child<QTableWidget>(window, "MSFlexGrid1")->isHidden());
        QVERIFY(child<QPushButton>(window, "Command1")->isHidden());
    }

    // Three companies, the second refused: the first and third stored, then "Importação Concluída".
    // The same import again stores nothing and reports each company.
    void importStoresCompanies() {
        TestMessageBox boxes;
        const QString path = writeExport(QStringLiteral("tres.mdb"), {kA, kUnknown, kB});
        QPointer<ImportarEmpresas> window = loaded(path);
        const qsizetype before = m_server.requests().size();
        QVERIFY(runImport(window, QStringLiteral("contador")));
        QCOMPARE(boxes.texts(), QStringList({refusal(kUnknown), kConcluida}));
        QCOMPARE(boxes.shown().at(0).icon, MessageIcon::Critical);
        QCOMPARE(boxes.shown().at(0).title, kFiscora);
        QCOMPARE(boxes.shown().at(1).icon, MessageIcon::Information);
        QCOMPARE(boxes.shown().at(1).title, kFiscora);
        QCOMPARE(m_server.requests().size(), before + 3);
        QTRY_VERIFY(window.isNull());

        const QList<Taxpayer> stored = storedTaxpayers();
        QCOMPARE(stored.size(), 2);
        // Simples Nacional in the server's answer is not taken: OptanteSimples stays false.
        const Taxpayer first{kA[0], kA[1] + u' ', kA[2], kA[3], QStringLiteral("CHAVEAAA"), QString(), false};
        const Taxpayer second{kB[0],     kB[1] + u' ', kB[2], kB[3], QStringLiteral("CHAVEBBB"),
                              QString(), false};
        for (const auto& [row, expected] : {std::pair{stored[0], first}, std::pair{stored[1], second}}) {
            QCOMPARE(row.IE, expected.IE);
            QCOMPARE(row.RazaoSocial, expected.RazaoSocial); // apostrophe single, one blank after
            QCOMPARE(row.Cnpj, expected.Cnpj);
            QCOMPARE(row.Cnae, expected.Cnae);
            QCOMPARE(row.Chave, expected.Chave);
            QCOMPARE(row.CCM, QString());
            QCOMPARE(row.OptanteSimples, false);
        }

        boxes.clear();
        window = loaded(path);
        QVERIFY(runImport(window, QStringLiteral("contador")));
        QCOMPARE(boxes.texts(), QStringList({duplicate(kA), refusal(kUnknown), duplicate(kB), kConcluida}));
        QCOMPARE(boxes.shown().at(0).icon, MessageIcon::Critical);
        QCOMPARE(storedTaxpayers().size(), 2);
    }

    // Nothing is asked of the server and nothing stored when the import cannot start. One
    // certificate serves every company, so it must carry the accountant's document.
    void importDoesNotStart_data() {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("certificate"); // empty: the choice is cancelled
        QTest::addColumn<QString>("message");
        QTest::newRow("a company's e-CNPJ") << ""
                                            << "empresa" << CertificateTexts::contentRefused;
        QTest::newRow("someone else's certificate") << ""
                                                    << "terceiro" << CertificateTexts::contentRefused;
        QTest::newRow("choice cancelled") << ""
                                          << ""
                                          << "";
        QTest::newRow("certificate store unreadable") << "loja"
                                                      << "contador" << CertificateTexts::componentFailure();
        QTest::newRow("local database missing") << "banco"
                                                << "contador"
                                                << "\r\nVB Error # ";
    }

    void importDoesNotStart() {
        QFETCH(QString, cause);
        QFETCH(QString, certificate);
        QFETCH(QString, message);
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        if (certificate.isEmpty())
            chooser.queueCancel();
        else
            chooser.queueChoice(fixtureCertificate(certificate).fingerprint());
        std::optional<test::ScopedEnvironment> brokenStore;
        if (cause == u"loja")
            brokenStore.emplace("FISCORA_CERTIFICADOS", m_folder->file(QStringLiteral("fiscora.ini")));
        ImportarEmpresas* window = loaded(writeExport(QStringLiteral("um.mdb"), {kA}));
        if (cause == u"banco")
            QVERIFY(QFile::remove(m_folder->file(QStringLiteral("fiscora.mdb"))));
        const qsizetype before = m_server.requests().size();
        clickAndWait(window, "Command1");
        QCOMPARE(boxes.shown().size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY2(boxes.shown().first().text.startsWith(message), qPrintable(boxes.shown().first().text));
        QVERIFY(!window->importing());
        QVERIFY(window->isVisible());
        QCOMPARE(m_server.requests().size(), before);
        if (cause != u"banco")
            QVERIFY(storedTaxpayers().isEmpty());
    }

    // One certificate serves every company of an import: the chooser starts on the one of the
    // last import, never on a company's own certificate taken for one key.
    void importOffersTheCertificateOfTheLastImport() {
        QTemporaryDir preferences;
        const test::ScopedEnvironment preferencesFolder("FISCORA_PREFERENCIAS", preferences.path());
        TestMessageBox boxes;
        TestCertificateChooser chooser;
        const QString empresa = fixtureCertificate(QStringLiteral("empresa")).fingerprint();
        const QString contador = fixtureCertificate(QStringLiteral("contador")).fingerprint();
        const auto keyOfOneCompany = [&] {
            chooser.queueChoice(empresa);
            std::optional<Certificate> selected;
            return CertificateSelection::keyVariant(sharedSeams().messages, sharedSeams().certificates,
                                                    nullptr, {false, {}, {}}, &selected,
                                                    PersonalCertificateSource(sharedServices().tokens));
        };
        constexpr auto accepted = CertificateSelection::Outcome::Accepted;
        const QString path = writeExport(QStringLiteral("um.mdb"), {kA});

        QCOMPARE(keyOfOneCompany(), accepted);
        chooser.queueChoice(contador);
        QPointer<ImportarEmpresas> window = loaded(path);
        clickAndWait(window, "Command1");
        QTRY_VERIFY_WITH_TIMEOUT(!window, 60000); // imported, closed
        QCOMPARE(keyOfOneCompany(), accepted);
        chooser.queueCancel();
        window = loaded(path);
        clickAndWait(window, "Command1");

        QStringList offered;
        for (const TestCertificateChooser::Request& request : chooser.requests())
            offered.append(request.preferred);
        QCOMPARE(offered, (QStringList{QString(), QString(), empresa, contador}));
    }

    // What stops an import in the middle: the companies stored before it stay, the user is told
    // which they are, and it never ends in "Importação Concluída".
    void interruptedImport_data() {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QStringList>("firstLines"); // the boxes' first lines
        const QString summary = QStringLiteral("A importação foi interrompida.");
        QTest::newRow("server goes down")
            << "servidor" << QStringList{kA[0]}
            << QStringList{
                   QStringLiteral("Não foi possível obter do servidor da Prefeitura a chave da empresa:")};
        QTest::newRow("certificate expired by the server's date")
            << "expirado" << QStringList{kA[0]} << QStringList{CertificateTexts::expired, summary};
        QTest::newRow("local database gone")
            << "banco" << QStringList{kA[0]} << QStringList{QString(), summary};
        QTest::newRow("stopped by the user after the current company")
            << "parar" << QStringList{kA[0], kB[0]}
            << QStringList{QStringLiteral("A importação foi interrompida a pedido do usuário.")};
    }

    void interruptedImport() {
        QFETCH(QString, cause);
        QFETCH(QStringList, stored);
        QFETCH(QStringList, firstLines);
        // A server of its own, which the test may stop, and one whose date is past the certificate.
        ServerLauncher server;
        QVERIFY2(server.start(writeSeed(server, seedCompanies())), qPrintable(server.errorString()));
        ServerLauncher later;
        QVERIFY2(
            later.start(writeSeed(later, seedCompanies(),
                                  {{QStringLiteral("dataServidor"), QStringLiteral("01/01/2100 10:00:00")}})),
            qPrintable(later.errorString()));
        m_folder->setServer(server.host(), server.port());

        TestMessageBox boxes;
        QPointer<ImportarEmpresas> window = loaded(writeExport(QStringLiteral("tres.mdb"), {kA, kB, kC}));
        QVERIFY(runImport(window, QStringLiteral("contador"), [&](ImportarEmpresas* w) {
            if (cause == u"servidor")
                server.stop();
            else if (cause == u"expirado")
                m_folder->setServer(later.host(), later.port());
            else if (cause == u"banco")
                QFile::remove(m_folder->file(QStringLiteral("fiscora.mdb")));
            else {
                QTest::mouseClick(child<QPushButton>(w, "cmdParar"), Qt::LeftButton);
                QVERIFY(w->grab().save(QStringLiteral("/tmp/importar-progresso.png")));
            }
        }));
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QVERIFY(!window->importing());
        QVERIFY(child<QPushButton>(window, "Command1")->isEnabled());
        QVERIFY(child<QPushButton>(window, "cmdParar")->isHidden());
        QVERIFY(!boxes.texts().contains(kConcluida));
        QCOMPARE(boxes.shown().size(), firstLines.size());
        for (qsizetype i = 0; i < firstLines.size(); ++i) {
            if (!firstLines[i].isEmpty())
                QCOMPARE(boxes.shown().at(i).text.section(QStringLiteral("\r\n"), 0, 0), firstLines[i]);
        }
        // The last box names what was stored.
        const QString last = boxes.shown().last().text;
        QVERIFY2(
            last.contains(QStringLiteral("Empresas cadastradas nesta importação (%1):").arg(stored.size())),
            qPrintable(last));
        for (const QString& ie : stored)
            QVERIFY(last.contains(ie));
        if (cause == u"banco") {
            QVERIFY(boxes.shown().first().text.startsWith(QStringLiteral("\r\nVB Error # ")));
            return; // the stored row went with the file
        }
        QCOMPARE(storedIes(), stored);
    }

    // Closing the window during an import stops it after the current company.
    void closingStopsAfterTheCurrentCompany() {
        TestMessageBox boxes;
        QPointer<ImportarEmpresas> window = loaded(writeExport(QStringLiteral("tres.mdb"), {kA, kB, kC}));
        QVERIFY(runImport(window, QStringLiteral("contador"), [](ImportarEmpresas* w) { w->close(); }));
        QTRY_VERIFY(window.isNull());
        QCOMPARE(storedIes(), QStringList({kA[0], kB[0]}));
        QCOMPARE(boxes.shown().size(), 1);
        QVERIFY(!boxes.texts().contains(kConcluida));
    }

    // The demo's export: clean, two companies the demo server knows, one it does not.
    void demoExport() {
        const CompanyExport read =
            test::await<CompanyExport>([](QObject* context, std::function<void(CompanyExport)> done) {
                CompanyExport::read(
                    builtReader(),
                    QStringLiteral(FISCORA_SOURCE_DIR "/resources/demo/exportacao-novagia.mdb"), context,
                    std::move(done));
            }).value_or(CompanyExport{});
        QCOMPARE(read.outcome, CompanyExport::Outcome::Ok);
        QCOMPARE(read.companies.size(), 3);
        QVERIFY(read.consistent());
        ServerLauncher demo;
        QVERIFY2(demo.start({QStringLiteral("--semente"),
                             QStringLiteral(FISCORA_SOURCE_DIR "/resources/demo/semente.json")}),
                 qPrintable(demo.errorString()));
        m_folder->setServer(demo.host(), demo.port());
        const KeyAnswer::Status expected[] = {KeyAnswer::Status::Granted, KeyAnswer::Status::Granted,
                                              KeyAnswer::Status::Refused};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(keyAnswer(read.companies[i].ie, read.companies[i].cnpj).status, expected[i]);
    }

    // An alphanumeric CNPJ, as the export holds it in either case, is inspected as valid, asked for
    // and stored upper-cased.
    void alphanumericCnpj_data() {
        QTest::addColumn<QString>("cnpj");
        QTest::newRow("upper") << QStringLiteral("12.ABC.345/01DE-35");
        QTest::newRow("lower") << QStringLiteral("12.abc.345/01de-35");
    }
    void alphanumericCnpj() {
        QFETCH(QString, cnpj);
        const QStringList horizonte{QStringLiteral("648.213.570.204"),
                                    QStringLiteral("Horizonte Digital Serviços Ltda"), cnpj,
                                    QStringLiteral("6201-5/01")};
        ServerLauncher demo;
        QVERIFY2(demo.start({QStringLiteral("--semente"),
                             QStringLiteral(FISCORA_SOURCE_DIR "/resources/demo/semente.json")}),
                 qPrintable(demo.errorString()));
        m_folder->setServer(demo.host(), demo.port());
        TestMessageBox boxes;
        auto* window = loaded(writeExport(QStringLiteral("alfanumerico.mdb"), {horizonte}));
        QVERIFY(child<QPushButton>(window, "Command1")->isVisible());
        QVERIFY(runImport(window, QStringLiteral("contador")));
        const QList<Taxpayer> stored = storedTaxpayers();
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.first().IE, horizonte[0]);
        QCOMPARE(stored.first().Cnpj, QStringLiteral("12.ABC.345/01DE-35"));
        QCOMPARE(stored.first().Chave, QStringLiteral("HD4Z8K2C"));
    }
};

QTEST_MAIN(ImportacaoTest)
#include "ImportacaoTest.moc"
