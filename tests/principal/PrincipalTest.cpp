#include "gui/Principal.h"
#include "core/ServerDate.h"
#include "core/Session.h"
#include "core/UserPreferences.h"
#include "data/AccountantTable.h"
#include "data/LocalDatabase.h"
#include "data/TaxpayerTable.h"
#include "gui/frmSituacaoMes.h"
#include "support/JournalRows.h"
#include "support/LocalTables.h"
#include "support/ProgramFolderFixture.h"
#include "support/SeedData.h"
#include "support/ServerLauncher.h"
#include "support/TestMessageBox.h"
#include "support/TestPlatform.h"
#include "support/TestServices.h"
#include "support/TopLevelWindows.h"
#include "support/Widgets.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

using namespace fiscora;
using namespace fiscora::test;
using namespace Qt::StringLiterals;

namespace {

const QString kIE = u"110.042.490.114"_s;
const QString kKey = u"RV7K2M9Q"_s;
const QString kName = u"Comercial Ribeirão Verde Ltda"_s;
const QString kListUnavailable = u"O Servidor está indisponivel, tente novamente mais tarde."_s;
const QString kReceiptUnavailable = u"O Servidor está indisponível, tente novamente mais tarde."_s;
const QString kReceipt =
    u"<apuracao><GIA PROTOCOLO=\"2012000002\"><DETALHE>GIA 02/2012 com mensagens</DETALHE>"
    "<MENSAGEM>Confira</MENSAGEM></GIA><DIPAM PROTOCOLO=\"2012000002\"><DETALHE>2.2</DETALHE>"
    "<VALOR>R$ 10,00</VALOR></DIPAM></apuracao>"_s;

SeedCompany seededCompany(const QString& receipt = kReceipt, const QString& olderReference = u"01/2012"_s) {
    return SeedCompany{
        kIE,
        u"12.345.678/0001-95"_s,
        kName,
        kKey,
        false,
        {{olderReference, u"2012-02-10 09:00:00"_s, u"2012000001"_s, 1, u"1.000,00"_s, {}},
         {u"02/2012"_s, u"2012-03-10 09:00:00"_s, u"2012000002"_s, 2, u"2.000,00"_s, receipt}}};
}

Accountant accountant() {
    return Accountant{u"111.444.777-35"_s, u"1SP000001"_s, u"Escritório Modelo"_s,
                      u"Rua A"_s,          u"1"_s,         {},
                      u"Centro"_s,         u"Valdorra"_s,  u"SP"_s,
                      u"(11) 5555-0000"_s, u"01234-567"_s, u"contador@example.com"_s};
}

// The taxpayers whose list the journal keeps as their last.
QStringList lastListed() {
    LocalDatabase db;
    QStringList ies;
    if (db.open(fiscora::test::sharedSeams().folder))
        for (const DbRow& row : db.query(u"SELECT IE FROM tblUltimaLista ORDER BY IE"_s).valueOr({}))
            ies.append(row.text(u"IE"_s));
    return ies;
}

SeedCompany otherCompany() {
    SeedCompany other{u"648.135.514.406"_s,
                      u"34.567.890/0001-30"_s,
                      u"Metalúrgica Serra d'Água Ltda"_s,
                      u"SA5N4W6X"_s,
                      false,
                      {}};
    return other;
}

void clickRow(QTableWidget* grid, int row) {
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(row, 0)).center());
}

} // namespace

class PrincipalTest final : public QObject {
    Q_OBJECT

private:
    FolderServices services;

    struct Scene {
        ServerLauncher server;
        std::unique_ptr<ProgramFolderFixture> folder;
        TestMessageBox boxes;
        TestPlatform platform;
        Session session;
        Principal* main = nullptr;

        QTableWidget* grid() const { return child<QTableWidget>(main, u"GridTransmissoes"_s); }
        QString text(const QString& name) const { return child<QLabel>(main, name)->text(); }
        bool visible(const QString& name) const { return child(main, name)->isVisible(); }
    };

    // A server knowing the companies, a program folder pointing at it, the taxpayers in the local
    // table and the main window shown.
    std::unique_ptr<Scene> makeScene(const QList<SeedCompany>& companies = {seededCompany()},
                                     QMap<QString, QString> parameters = {}, bool secure = false) {
        auto scene = std::make_unique<Scene>();
        scene->server.setSecure(secure);
        for (const auto& [key, value] :
             {std::pair{u"anos"_s, u"2011,2012"_s}, std::pair{u"dataServidor"_s, u"14/03/2012 10:22:33"_s},
              std::pair{u"versao"_s, u"1.15.01"_s}}) {
            if (!parameters.contains(key))
                parameters.insert(key, value);
        }
        if (!scene->server.start(writeSeed(scene->server, companies, parameters)))
            qWarning("server did not start: %s", qPrintable(scene->server.errorString()));
        scene->folder =
            std::make_unique<ProgramFolderFixture>(scene->server.host(), scene->server.port(), secure);
        insertSeededTaxpayers(companies);
        scene->main = new Principal(scene->session, services());
        scene->main->show();
        return scene;
    }

    // The selection window, as the user goes through it.
    void select(Scene& scene, const QString& ie) {
        child<QAction>(scene.main, u"mnContribuinteSelecionar"_s)->trigger();
        QVERIFY(!scene.main->isEnabled());
        QWidget* list = window(u"frmtbl_SelecionaContribuinte"_s);
        QVERIFY(list);
        auto* grid = child<QTableWidget>(list, u"GridSelContribuinte"_s);
        grid->setCurrentCell(static_cast<int>(column(grid, 0).indexOf(ie)), 1);
        QTest::mouseClick(child<QPushButton>(list, u"cmdOK"_s), Qt::LeftButton);
        QVERIFY(!list->isVisible());
        settle(scene);
        QVERIFY(scene.main->isEnabled());
    }

    // The window once the server has answered what it asked.
    static void settle(const Scene& scene) { QTRY_VERIFY(!scene.main->waitingForServer()); }

private Q_SLOTS:
    void cleanup() {
        deleteTopLevelWindows();
        services.reset();
    }

    void withoutAccountantBothCommandsOpenTheAccountantWindow_data() {
        QTest::addColumn<bool>("transmit");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::newRow("Novo")
            << false << "fiscora"
            << "É necessário cadastrar um contador antes de Cadastrar seu(s) Contribuinte(s).";
        QTest::newRow("transmit") << true << "Fiscora"
                                  << "É necessário informar os dados do contador para envio da declaração";
    }

    void withoutAccountantBothCommandsOpenTheAccountantWindow() {
        QFETCH(bool, transmit);
        QFETCH(QString, title);
        QFETCH(QString, message);
        auto scene = makeScene();
        if (transmit) {
            scene->session.selectTaxpayer(kName, kIE, kKey);
            QTest::mouseClick(child<QPushButton>(scene->main, u"Command1"_s), Qt::LeftButton);
        } else {
            child<QAction>(scene->main, u"mnContribuinteNovo"_s)->trigger();
        }
        QCOMPARE(scene->boxes.shown().size(), 1);
        QCOMPARE(scene->boxes.shown().at(0).title, title);
        QCOMPARE(scene->boxes.shown().at(0).text, message);
        QCOMPARE(scene->boxes.shown().at(0).icon, MessageIcon::None);
        QVERIFY(window(u"frmContador"_s));
        QVERIFY(!window(u"frmtbl_CriaContribuinte"_s) && !window(u"frmUpload"_s));
        QVERIFY(scene->main->isEnabled());
    }

    // The month view closed and opened again shows what it had without asking the server; its
    // "Atualizar" asks again.
    void monthViewReopensWithTheListsItHad() {
        auto scene = makeScene();
        const auto lists = [&scene] {
            return scene->server.requests().filter(u"POST"_s).size();
        };
        const qsizetype before = lists();
        child<QAction>(scene->main, u"mnSituacaoMes"_s)->trigger();
        QTRY_VERIFY(window(u"frmSituacaoMes"_s) && lists() > before);
        auto* month = qobject_cast<frmSituacaoMes*>(window(u"frmSituacaoMes"_s));
        QTRY_VERIFY(!month->situation().asking());
        const qsizetype asked = lists();
        month->close();
        child<QAction>(scene->main, u"mnSituacaoMes"_s)->trigger();
        QCOMPARE(window(u"frmSituacaoMes"_s), month);
        QTest::qWait(200);
        QCOMPARE(lists(), asked);
        child<QPushButton>(month, u"cmdAtualizar"_s)->click();
        QTRY_COMPARE(lists(), asked + 1);
    }

    // The accountant window already open from its menu is only raised by "Novo": it must still
    // give the main window back.
    void novoRaisingTheOpenAccountantWindowLeavesTheMainEnabled() {
        auto scene = makeScene();
        child<QAction>(scene->main, u"mnContador"_s)->trigger();
        QWidget* accountantWindow = window(u"frmContador"_s);
        QVERIFY(accountantWindow);
        child<QAction>(scene->main, u"mnContribuinteNovo"_s)->trigger();
        QCOMPARE(window(u"frmContador"_s), accountantWindow);
        QVERIFY(scene->main->isEnabled());
    }

    // Closing the main window ends the program and deletes it; the list request keeps events
    // flowing, so that may happen before its answer comes.
    void closedWhileTheListIsFetched() {
        auto scene = makeScene();
        QPointer<Principal> main = scene->main;
        main->setAttribute(Qt::WA_DeleteOnClose);
        main->session().selectTaxpayer(kName, kIE, kKey);
        QTimer::singleShot(0, main, &QWidget::close);
        main->RecebeDadosServer();
        QTRY_VERIFY(!main);
        QCOMPARE(scene->platform.quitCalls, 1);
        QVERIFY(scene->boxes.shown().isEmpty());
    }

    // A list asked for while another is under way (the end of a batch, an upload window, another
    // taxpayer chosen): the newer answer is the one shown, and the only one recorded.
    void newerListWins() {
        const SeedCompany other = otherCompany();
        auto scene = makeScene({seededCompany(), other});
        scene->session.selectTaxpayer(kName, kIE, kKey);
        QTimer::singleShot(0, scene->main, [&] {
            scene->session.selectTaxpayer(other.razao, other.ie, other.chave);
            scene->main->RecebeDadosServer();
        });
        scene->main->RecebeDadosServer();
        QTRY_COMPARE(lastListed(), QStringList{other.ie});
        QTest::qWait(300);
        QCOMPARE(lastListed(), QStringList{other.ie});
        QCOMPARE(scene->grid()->rowCount(), 0);
        QCOMPARE(scene->text(u"IESel"_s), other.ie);
        QVERIFY(scene->boxes.shown().isEmpty());
    }

    // The window is busy while the list comes; a window that sets its state meanwhile (the
    // selection window closed, then the about box opened) has the last word.
    void anotherWindowDecidesWhileTheListIsFetched() {
        auto scene = makeScene();
        scene->session.selectTaxpayer(kName, kIE, kKey);
        scene->main->RecebeDadosServer();
        QVERIFY(!scene->main->isEnabled());
        child<QAction>(scene->main, u"mnContribuinteSelecionar"_s)->trigger();
        window(u"frmtbl_SelecionaContribuinte"_s)->close();
        QVERIFY(scene->main->isEnabled());
        child<QAction>(scene->main, u"mnSobre"_s)->trigger();
        settle(*scene);
        QCOMPARE(scene->grid()->rowCount(), 2);
        QVERIFY(!scene->main->isEnabled());
    }

    void novoWithAccountantOpensTheCreationWindow() {
        auto scene = makeScene();
        QVERIFY(saveAccountant(fiscora::test::sharedSeams().folder, accountant()));
        child<QAction>(scene->main, u"mnContribuinteNovo"_s)->trigger();
        QWidget* creation = window(u"frmtbl_CriaContribuinte"_s);
        QVERIFY(creation);
        QCOMPARE(creation->windowTitle(), u"Cadastro de Contribuinte - Prefeitura Municipal de Valdorra"_s);
        QVERIFY(!scene->main->isEnabled());
        creation->close();
        QVERIFY(scene->main->isEnabled());
    }

    // The original left the window disabled for good; here it comes back after the report.
    void novoWithUnreadableDatabaseReportsAndStaysUsable() {
        auto scene = makeScene();
        QVERIFY(QFile::remove(scene->folder->file(u"fiscora.mdb"_s)));
        child<QAction>(scene->main, u"mnContribuinteNovo"_s)->trigger();
        QCOMPARE(scene->boxes.shown().size(), 1);
        QCOMPARE(scene->boxes.shown().at(0).title, u"fiscora"_s);
        QVERIFY(scene->boxes.shown().at(0).text.startsWith(u"\r\nVB Error # "_s));
        QVERIFY(scene->main->isEnabled());
        QVERIFY(!window(u"frmContador"_s));
    }

    void selectionFillsTheWindowAndListsTransmissions_data() {
        QTest::addColumn<bool>("secure");
        QTest::newRow("http") << false;
        QTest::newRow("https") << true;
    }

    void selectionFillsTheWindowAndListsTransmissions() {
        QFETCH(bool, secure);
        auto scene = makeScene({seededCompany()}, {}, secure);
        QVERIFY(!scene->visible(u"frmImportacao"_s) && !scene->visible(u"Command1"_s));
        QCOMPARE(scene->session.DataServidor(), zeroDateTime());
        select(*scene, kIE);
        QVERIFY(scene->boxes.shown().isEmpty());
        QCOMPARE(scene->text(u"RSSel"_s), kName);
        QCOMPARE(scene->text(u"IESel"_s), kIE);
        QCOMPARE(scene->text(u"lblChave"_s), kKey);
        QVERIFY(!scene->visible(u"lblChave"_s));
        QVERIFY(scene->visible(u"frmImportacao"_s) && scene->visible(u"Command1"_s));
        QCOMPARE(column(scene->grid(), 0), (QStringList{u"02/2012"_s, u"01/2012"_s}));
        QCOMPARE(column(scene->grid(), 2), (QStringList{u"2012000002"_s, u"2012000001"_s}));
        QCOMPARE(column(scene->grid(), 3), (QStringList{u"2"_s, u"1"_s}));
        QCOMPARE(scene->grid()->columnWidth(3), 0);
        QCOMPARE(scene->grid()->columnWidth(4), 0);
        QCOMPARE(scene->session.DataServidor(), QDateTime(QDate(2012, 3, 14), QTime(10, 22, 33)));
        QCOMPARE(scene->session.anoTrabalho(), u"2011,2012"_s);
        QVERIFY(scene->visible(u"lblAtualizado"_s) && !scene->visible(u"lblnovaatualizacao"_s));
        QVERIFY(child<QPlainTextEdit>(scene->main, u"Text1"_s)
                    ->toPlainText()
                    .startsWith(u"<listaTransferencias"_s));
    }

    void refusedKeyDropsTheTaxpayer_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("olderReference");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("icon");
        // Either way the taxpayer is dropped, and nothing of it stays on screen.
        QTest::newRow("CHAVE_INVALIDA") << "ERRADA00"
                                        << "01/2012"
                                        << "Chave inválida" << int(MessageIcon::Critical);
        QTest::newRow("marker inside the list") << kKey << "CHAVE_INATIVA"
                                                << "Acesso não autorizado" << int(MessageIcon::Information);
    }

    void refusedKeyDropsTheTaxpayer() {
        QFETCH(QString, key);
        QFETCH(QString, olderReference);
        QFETCH(QString, message);
        QFETCH(int, icon);
        auto scene = makeScene({seededCompany(kReceipt, olderReference)});
        scene->main->PopulaGridTransmissoes(
            u"<listaTransferencias><transferencia/><transferencia/></listaTransferencias>"_s);
        scene->session.selectTaxpayer(kName, kIE, key);
        scene->main->RecebeDadosServer();
        settle(*scene);
        QCOMPARE(scene->boxes.texts(), QStringList{message});
        QCOMPARE(int(scene->boxes.shown().at(0).icon), icon);
        QCOMPARE(scene->grid()->rowCount(), 0);
        QVERIFY(scene->text(u"RSSel"_s).isEmpty() && scene->text(u"IESel"_s).isEmpty() &&
                scene->text(u"lblChave"_s).isEmpty());
        QVERIFY(!scene->visible(u"frmImportacao"_s) && !scene->visible(u"Command1"_s));
        QCOMPARE(scene->session.anoTrabalho(), QString());
    }

    void listFailures_data() {
        QTest::addColumn<QString>("failure");
        QTest::newRow("server down") << "down";
        QTest::newRow("date that does not convert") << "date";
        QTest::newRow("no version stamp") << "stamp";
    }

    void listFailures() {
        QFETCH(QString, failure);
        auto scene =
            makeScene({seededCompany()}, {{u"dataServidor"_s, failure == u"date"_s ? u"ontem"_s : u""_s}});
        if (failure == u"down"_s)
            scene->server.stop();
        if (failure == u"stamp"_s)
            QFile::remove(scene->folder->file(u"info.fsc"_s));
        scene->session.selectTaxpayer(kName, kIE, kKey);
        scene->main->RecebeDadosServer();
        settle(*scene);
        QCOMPARE(scene->boxes.texts(), QStringList{kListUnavailable});
        QCOMPARE(scene->boxes.shown().at(0).title, u"Fiscora"_s);
        QCOMPARE(scene->boxes.shown().at(0).icon, MessageIcon::None);
        QCOMPARE(scene->text(u"IESel"_s), kIE);
        QCOMPARE(scene->session.DataServidor(), zeroDateTime());
        // An answer that is not read whole shows nothing of it.
        QCOMPARE(scene->grid()->rowCount(), 0);
    }

    void notXmlCutsTheGridAndFails() {
        auto scene = makeScene();
        QVERIFY(scene->main->PopulaGridTransmissoes(
            u"<listaTransferencias><transferencia/></listaTransferencias>"_s));
        QCOMPARE(scene->grid()->rowCount(), 1);
        QVERIFY(!scene->main->PopulaGridTransmissoes(QString()));
        QCOMPARE(scene->grid()->rowCount(), 0);
    }

    void versionLabels_data() {
        QTest::addColumn<QByteArray>("stamp");
        QTest::addColumn<QString>("published");
        QTest::addColumn<QString>("newVersionText");
        QTest::newRow("same") << QByteArray("1.15.01") << "1.15.01"
                              << "";
        QTest::newRow("stamp with line end") << QByteArray("1.15.01\r\n") << "1.15.01"
                                             << "Nova atualização disponível para download - versão 1.15.01"
                                                "             ";
        QTest::newRow("newer on the server") << QByteArray("1.15.01") << "1.16.00"
                                             << "Nova atualização disponível para download - versão 1.16.00"
                                                "             ";
    }

    void versionLabels() {
        QFETCH(QByteArray, stamp);
        QFETCH(QString, published);
        QFETCH(QString, newVersionText);
        auto scene = makeScene({seededCompany()}, {{u"versao"_s, published}});
        scene->folder->writeFile(u"info.fsc"_s, stamp);
        select(*scene, kIE);
        QCOMPARE(scene->visible(u"lblAtualizado"_s), newVersionText.isEmpty());
        QCOMPARE(scene->visible(u"lblnovaatualizacao"_s), !newVersionText.isEmpty());
        if (!newVersionText.isEmpty())
            QCOMPARE(scene->text(u"lblnovaatualizacao"_s), newVersionText);
    }

    void statusOneShowsTheLabelWithoutAsking() {
        auto scene = makeScene();
        select(*scene, kIE);
        QTRY_COMPARE(soapCalls(scene->server), 1);
        clickRow(scene->grid(), 1);
        QVERIFY(scene->visible(u"labelOK"_s));
        QVERIFY(!scene->visible(u"tvwPessoa"_s));
        QTest::qWait(300);
        QCOMPARE(soapCalls(scene->server), 1);
        QVERIFY(scene->boxes.shown().isEmpty());
    }

    void statusTwoFetchesTheReceipt() {
        auto scene = makeScene();
        select(*scene, kIE);
        clickRow(scene->grid(), 1);
        clickRow(scene->grid(), 0);
        QTRY_COMPARE(soapCalls(scene->server), 2);
        settle(*scene);
        QVERIFY(scene->boxes.shown().isEmpty());
        QVERIFY(!scene->visible(u"labelOK"_s));
        QCOMPARE(child<QPlainTextEdit>(scene->main, u"Text1"_s)->toPlainText(), kReceipt);
        QCOMPARE(child<QLineEdit>(scene->main, u"Text2"_s)->text(), QString::number(kReceipt.size()));
        auto* tree = child<QTreeWidget>(scene->main, u"tvwPessoa"_s);
        QVERIFY(tree->isVisible() && scene->visible(u"detApuracao"_s));
        QCOMPARE(tree->topLevelItemCount(), 1);
        const QTreeWidgetItem* root = tree->topLevelItem(0);
        QCOMPARE(root->text(0), u"apuracao"_s);
        QCOMPARE(root->childCount(), 2);
        QCOMPARE(root->child(0)->text(0), u"GIA: GIA 02/2012 com mensagens"_s);
        QCOMPARE(root->child(0)->data(0, Qt::UserRole).toString(), u"2012000002"_s);
        QCOMPARE(root->child(0)->child(1)->text(0), u"Confira"_s);
        QCOMPARE(root->child(1)->text(0), u"DIPAM : 2.2"_s);
        // A second receipt replaces the first.
        clickRow(scene->grid(), 0);
        QCOMPARE(tree->topLevelItemCount(), 1);
    }

    // A receipt's lines wrap in the details panel: none is cut short, however long.
    void receiptLinesAreShownWhole() {
        const QString receipt =
            u"<apuracao><GIA PROTOCOLO=\"2012000002\"><DETALHE>GIA 02/2012 processada com mensagens de "
            "conferência</DETALHE><MENSAGEM>Valor adicionado 18% inferior ao do mesmo mês do ano anterior, "
            "confira as entradas e saídas declaradas</MENSAGEM></GIA><DIPAM PROTOCOLO=\"2012000002\">"
            "<DETALHE>2.2</DETALHE><CODIGO>2.2 - Prestação de serviços de transporte intermunicipal"
            "</CODIGO></DIPAM></apuracao>"_s;
        auto scene = makeScene({seededCompany(receipt)});
        select(*scene, kIE);
        clickRow(scene->grid(), 0);
        auto* tree = child<QTreeWidget>(scene->main, u"tvwPessoa"_s);
        QTRY_VERIFY(tree->isVisible());
        tree->expandAll();
        QTest::qWait(50);
        const int margin = tree->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, tree) + 1;
        int items = 0;
        for (QTreeWidgetItemIterator it(tree); *it; ++it, ++items) {
            const QRect rect = tree->visualItemRect(*it);
            const QRect needed = tree->fontMetrics().boundingRect(
                QRect(0, 0, rect.width() - 2 * margin, 10000), Qt::TextWordWrap, (*it)->text(0));
            QVERIFY2(rect.right() <= tree->viewport()->width() && rect.height() >= needed.height(),
                     qPrintable((*it)->text(0)));
        }
        QCOMPARE(items, 7);
    }

    // With the server down, a refresh of the same taxpayer keeps its rows; another taxpayer shows
    // nothing of the previous one's, so a receipt address cannot mix the two.
    void anotherTaxpayerShowsNothingOfThePrevious() {
        SeedCompany other = seededCompany();
        other.ie = u"648.135.514.406"_s;
        other.razao = u"Metalúrgica Serra d'Água Ltda"_s;
        other.chave = u"SA5N4W6X"_s;
        other.cnpj = u"34.567.890/0001-30"_s;
        other.transmissoes.clear();
        auto scene = makeScene({seededCompany(), other});
        select(*scene, kIE);
        clickRow(scene->grid(), 1);
        clickRow(scene->grid(), 0);
        QTRY_VERIFY(scene->visible(u"tvwPessoa"_s));
        clickRow(scene->grid(), 1);
        QVERIFY(scene->visible(u"labelOK"_s));
        scene->server.stop();

        scene->main->RecebeDadosServer();
        settle(*scene);
        QCOMPARE(scene->grid()->rowCount(), 2);
        select(*scene, other.ie);
        QCOMPARE(scene->boxes.texts(), (QStringList{kListUnavailable, kListUnavailable}));
        QCOMPARE(scene->text(u"IESel"_s), other.ie);
        QCOMPARE(scene->grid()->rowCount(), 0);
        QVERIFY(!scene->visible(u"tvwPessoa"_s) && !scene->visible(u"detApuracao"_s) &&
                !scene->visible(u"labelOK"_s));
        QCOMPARE(child<QTreeWidget>(scene->main, u"tvwPessoa"_s)->topLevelItemCount(), 0);
        QTest::mouseClick(child<QPushButton>(scene->main, u"cmd_Impressao"_s), Qt::LeftButton);
        QCOMPARE(scene->boxes.texts().last(), u"Selecione uma entrega específica"_s);
        QVERIFY(scene->platform.openedUrls.isEmpty());
    }

    // No browser took the address: the user is given it to copy.
    void printWithoutABrowserShowsTheAddress() {
        auto scene = makeScene();
        scene->platform.acceptUrls = false;
        select(*scene, kIE);
        clickRow(scene->grid(), 1);
        QTest::mouseClick(child<QPushButton>(scene->main, u"cmd_Impressao"_s), Qt::LeftButton);
        QCOMPARE(scene->boxes.shown().size(), 1);
        const MessageRequest box = scene->boxes.shown().first();
        QVERIFY(box.selectable);
        QVERIFY2(box.text.endsWith(u"\n\nhttp://"_s + scene->server.host() +
                                   u"/protocoloDown.php?IE=110.042.490.114&key=RV7K2M9Q&ref=01/2012"_s),
                 qPrintable(box.text));
    }

    void receiptsThatDoNotParse_data() {
        QTest::addColumn<QString>("receipt");
        QTest::addColumn<QString>("reason");
        QTest::newRow("broken") << "<apuracao><GIA>"
                                << "Premature end of document.";
        QTest::newRow("external entity")
            << "<!DOCTYPE apuracao [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><apuracao><GIA "
               "PROTOCOLO=\"1\">"
               "<DETALHE>&x;</DETALHE></GIA></apuracao>"
            << "O documento faz referência a conteúdo externo, que não é carregado.";
    }

    void receiptsThatDoNotParse() {
        QFETCH(QString, receipt);
        QFETCH(QString, reason);
        auto scene = makeScene({seededCompany(receipt)});
        select(*scene, kIE);
        clickRow(scene->grid(), 0);
        settle(*scene);
        QCOMPARE(scene->boxes.texts(), QStringList{reason});
        QCOMPARE(scene->boxes.shown().at(0).title, u"fiscora"_s);
        QCOMPARE(child<QTreeWidget>(scene->main, u"tvwPessoa"_s)->topLevelItemCount(), 0);
    }

    void rowWithoutStatusIsReportedUnavailable() {
        auto scene = makeScene();
        scene->session.selectTaxpayer(kName, kIE, kKey);
        scene->main->PopulaGridTransmissoes(
            u"<listaTransferencias><transferencia><referencia>01/2012</referencia></transferencia>"
            "</listaTransferencias>"_s);
        clickRow(scene->grid(), 0);
        QCOMPARE(scene->boxes.texts(), QStringList{kReceiptUnavailable});
        QCOMPARE(soapCalls(scene->server), 0);
    }

    void printOpensTheReceiptAddress_data() {
        QTest::addColumn<bool>("secure");
        QTest::newRow("http") << false;
        QTest::newRow("https") << true;
    }

    void printOpensTheReceiptAddress() {
        QFETCH(bool, secure);
        auto scene = makeScene({seededCompany()}, {}, secure);
        scene->session.selectTaxpayer(kName, kIE, kKey);
        scene->main->PopulaGridTransmissoes(
            u"<listaTransferencias><transferencia><referencia>02/2012 </referencia><status>1</status>"
            "</transferencia></listaTransferencias>"_s);
        auto* print = child<QPushButton>(scene->main, u"cmd_Impressao"_s);
        // Nothing chosen yet: the header row is current.
        QTest::mouseClick(print, Qt::LeftButton);
        QCOMPARE(scene->boxes.texts(), QStringList{u"Selecione uma entrega específica"_s});
        QCOMPARE(scene->boxes.shown().at(0).icon, MessageIcon::Information);
        QVERIFY(scene->platform.openedUrls.isEmpty());

        clickRow(scene->grid(), 0);
        QTest::mouseClick(print, Qt::LeftButton);
        const QString expected = (secure ? u"https://"_s : u"http://"_s) + scene->server.host() +
                                 u"/protocoloDown.php?IE=110.042.490.114&key=RV7K2M9Q&ref=02/2012"_s;
        QCOMPARE(scene->platform.openedUrls, QStringList{expected});
        QCOMPARE(scene->boxes.shown().size(), 1);
        QVERIFY(scene->main->OpenBrowser(u"exemplo.org/x"_s));
        QCOMPARE(scene->platform.openedUrls.last(), u"http://exemplo.org/x"_s);
        QVERIFY(scene->main->OpenBrowser(u"HTTPS://exemplo.org"_s));
        QCOMPARE(scene->platform.openedUrls.last(), u"HTTPS://exemplo.org"_s);
    }

    // "Salvar PDF" keeps the chosen row's receipt page as a PDF where the kept receipts go; a page
    // that shows another protocol (a newer one of the reference) is not kept under this one.
    void savePdfKeepsTheChosenReceipt() {
        auto scene = makeScene({seededCompany()});
        if (!scene->server.portalAvailable())
            QSKIP("port 80 of the loopback address cannot be bound here (needs root)");
        QTemporaryDir documents;
        UserPreferences::setDocumentsFolder(documents.path());
        select(*scene, kIE);
        clickRow(scene->grid(), 1);
        settle(*scene);
        scene->boxes.clear();
        QTest::mouseClick(child<QPushButton>(scene->main, u"cmdSalvarPdf"_s), Qt::LeftButton);
        QTRY_COMPARE(scene->boxes.shown().size(), 1);
        const QString path = documents.path() + u"/Fiscora/Recibos/110.042.490.114 - "_s + kName +
                             u"/2012-01/2012000001.pdf"_s;
        QCOMPARE(scene->boxes.texts().first(), u"Recibo salvo em %1."_s.arg(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().startsWith("%PDF-"));

        scene->boxes.clear();
        scene->grid()->item(1, 2)->setText(u"2012000099"_s);
        QTest::mouseClick(child<QPushButton>(scene->main, u"cmdSalvarPdf"_s), Qt::LeftButton);
        QTRY_COMPARE(scene->boxes.shown().size(), 1);
        QVERIFY2(scene->boxes.texts().first().contains(u"não mostra o protocolo 2012000099"_s),
                 qPrintable(scene->boxes.texts().first()));
        QVERIFY(!QFile::exists(QFileInfo(path).dir().filePath(u"2012000099.pdf"_s)));

        // "Imprimir" offers the system's print dialog, modal to the window, once the page is in.
        scene->grid()->item(1, 2)->setText(u"2012000001"_s);
        QTest::mouseClick(child<QPushButton>(scene->main, u"cmdImprimir"_s), Qt::LeftButton);
        QDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = scene->main->findChild<QDialog*>(u"dlgImprimir"_s)) && dialog->isVisible());
        QVERIFY(dialog->isModal());
        dialog->reject();
        QCOMPARE(scene->boxes.shown().size(), 1);
        UserPreferences::setDocumentsFolder(QString());
    }

    void transmitOpensTheUploadWindowByTheSimplesFlag_data() {
        QTest::addColumn<bool>("simples");
        QTest::addColumn<QString>("windowName");
        QTest::addColumn<QString>("caption");
        QTest::newRow("GIA") << false << "frmUpload"
                             << "Selecione o arquivo MDB para Entrega  - Prefeitura Municipal de Valdorra"
                                " - Ano trabalho: 2011,2012";
        QTest::newRow("PGDAS") << true << "frmUploadSimples"
                               << "Selecione o arquivo PDF - Declaracao - SIMPLES NACIONAL - Prefeitura "
                                  "Municipal de Valdorra - Ano trabalho: 2011,2012";
    }

    void transmitOpensTheUploadWindowByTheSimplesFlag() {
        QFETCH(bool, simples);
        QFETCH(QString, windowName);
        QFETCH(QString, caption);
        SeedCompany company = seededCompany();
        company.simples = simples;
        auto scene = makeScene({company});
        QVERIFY(saveAccountant(fiscora::test::sharedSeams().folder, accountant()));
        select(*scene, kIE);
        auto* transmit = child<QPushButton>(scene->main, u"Command1"_s);
        for (int round = 0; round < 2; ++round) {
            QTest::mouseClick(transmit, Qt::LeftButton);
            QWidget* upload = window(windowName);
            QVERIFY(upload);
            QCOMPARE(upload->windowTitle(), caption);
            QCOMPARE(scene->main->isEnabled(), simples);
            upload->close();
            QVERIFY(scene->main->isEnabled());
        }
        QCOMPARE(scene->session.thisCont_cpf_cnpj(), u"111.444.777-35"_s);
        QCOMPARE(scene->boxes.shown().size(), 2);
        QCOMPARE(scene->boxes.shown().at(0).title, u"Informação"_s);
        QCOMPARE(scene->boxes.shown().at(0).text,
                 u"O Certificado que será solicitado durante a transmissão é do contador responsável"_s);
    }

    void transmitWithoutItsRowEndsInTheDatabaseReport() {
        auto scene = makeScene();
        QVERIFY(saveAccountant(fiscora::test::sharedSeams().folder, accountant()));
        scene->session.selectTaxpayer(kName, u"648.120.377.258"_s, kKey);
        QTest::mouseClick(child<QPushButton>(scene->main, u"Command1"_s), Qt::LeftButton);
        QCOMPARE(scene->boxes.shown().size(), 2);
        QCOMPARE(scene->boxes.shown().at(1).title, u"fiscora"_s);
        QVERIFY(scene->boxes.shown().at(1).text.startsWith(u"\r\nVB Error #  3021"_s));
        QVERIFY(!window(u"frmUpload"_s) && !window(u"frmUploadSimples"_s));
        QVERIFY(scene->main->isEnabled());
    }

    void menus() {
        auto scene = makeScene();
        const QList<std::pair<QString, QKeySequence>> shortcuts = {
            {u"mnContribuinteNovo"_s, Qt::Key_F2}, {u"mnContribuinteSelecionar"_s, Qt::Key_F5},
            {u"mnAtualizar"_s, Qt::Key_F8},        {u"mnContador"_s, Qt::Key_F6},
            {u"mnSAjuda"_s, Qt::Key_F1},           {u"mnExcluir"_s, {}}};
        for (const auto& [name, keys] : shortcuts)
            QCOMPARE(child<QAction>(scene->main, name)->shortcut(), keys);

        child<QAction>(scene->main, u"mnAtualizar"_s)->trigger();
        child<QAction>(scene->main, u"mnExcluir"_s)->trigger();
        child<QAction>(scene->main, u"mnContador"_s)->trigger();
        QVERIFY(window(u"frmtbl_atualizarContribuinte"_s) && window(u"frmtbl_exclusaoContribuinte"_s) &&
                window(u"frmContador"_s));
        QVERIFY(scene->main->isEnabled());

        child<QAction>(scene->main, u"mnSobre"_s)->trigger();
        QVERIFY(!scene->main->isEnabled());
        window(u"Sobre"_s)->close();
        QVERIFY(scene->main->isEnabled());

        child<QAction>(scene->main, u"mnSair"_s)->trigger();
        QCOMPARE(scene->platform.quitCalls, 1);
        scene->main->close();
        QCOMPARE(scene->platform.quitCalls, 2);
    }

    // Every menu and item has a letter of its own for the keyboard; the captions stay as they were.
    void menuCaptionsCarryALetterEach() {
        TestMessageBox boxes;
        ProgramFolderFixture folder;
        Session session;
        Principal main(session, services());
        QStringList captions;
        const auto lettered = [&captions](const QList<QAction*>& actions) {
            QString used;
            for (const QAction* action : actions) {
                const QString text = action->text();
                const qsizetype at = text.indexOf(u'&');
                if (action->isSeparator())
                    continue;
                if (at < 0 || text.count(u'&') != 1 || used.contains(text.at(at + 1).toLower()))
                    return false;
                used += text.at(at + 1).toLower();
                captions.append(QString(text).remove(u'&'));
            }
            return true;
        };
        QVERIFY(lettered(main.menuBar()->actions()));
        for (const QAction* menu : main.menuBar()->actions())
            QVERIFY(lettered(menu->menu()->actions()));
        QCOMPARE(captions, (QStringList{u"Arquivo"_s, u"Contribuinte"_s, u"Ajuda"_s, u"Sair"_s, u"Novo"_s,
                                        u"Selecionar"_s, u"Atualizar"_s, u"Excluir"_s, u"Contador"_s,
                                        u"Envios realizados"_s, u"Transmissão em lote"_s,
                                        u"Situação do mês"_s, u"Ajuda"_s, u"Sobre"_s}));
    }

    void menusFromTheKeyboard_data() {
        QTest::addColumn<int>("menuKey");
        QTest::addColumn<int>("itemKey");
        QTest::addColumn<QString>("window");
        QTest::newRow("Alt+J, S: about box") << int(Qt::Key_J) << int(Qt::Key_S) << "Sobre";
        QTest::newRow("Alt+C, C: accountant") << int(Qt::Key_C) << int(Qt::Key_C) << "frmContador";
        QTest::newRow("Alt+C, E: deletion list")
            << int(Qt::Key_C) << int(Qt::Key_E) << "frmtbl_exclusaoContribuinte";
        QTest::newRow("Alt+C, M: the month") << int(Qt::Key_C) << int(Qt::Key_M) << "frmSituacaoMes";
    }

    void menusFromTheKeyboard() {
        QFETCH(int, menuKey);
        QFETCH(int, itemKey);
        QFETCH(QString, window);
        TestMessageBox boxes;
        ProgramFolderFixture folder;
        Session session;
        auto* main = new Principal(session, services());
        main->show();
        main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main));
        QTest::keyClick(main, Qt::Key(menuKey), Qt::AltModifier);
        QTRY_VERIFY(QApplication::activePopupWidget());
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key(itemKey));
        QTRY_VERIFY(fiscora::test::window(window));
    }

    // F1 shows the user guide, its pictures found beside it; F1 again brings back the same window.
    void f1OpensTheGuide() {
        TestMessageBox boxes;
        ProgramFolderFixture folder;
        Session session;
        auto* main = new Principal(session, services());
        main->show();
        main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main));
        QTest::keyClick(main, Qt::Key_F1);
        QWidget* help = window(u"Ajuda"_s);
        QVERIFY(help && help->isVisible());
        QVERIFY(boxes.shown().isEmpty());
        auto* text = child<QTextBrowser>(help, u"txtGuia"_s);
        QVERIFY(text->toPlainText().startsWith(u"Guia do Fiscora"_s));
        QVERIFY(!text->toPlainText().contains(u"-->"_s));
        const QVariant picture =
            text->document()->resource(QTextDocument::ImageResource, QUrl(u"imagens/principal.png"_s));
        QVERIFY(!picture.value<QPixmap>().isNull());

        main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main));
        QTest::keyClick(main, Qt::Key_F1);
        QCOMPARE(window(u"Ajuda"_s), help);

        help->resize(1366, 768);
        QVERIFY(QTest::qWaitForWindowExposed(help));
        const QString shots = QDir(buildProgramFolder()).filePath(u"../telas"_s);
        QDir().mkpath(shots);
        QVERIFY(help->grab().save(QDir(shots).filePath(u"Ajuda.png"_s)));

        QTest::keyClick(text, Qt::Key_Escape);
        QTRY_VERIFY(!window(u"Ajuda"_s));
    }

    void screenshot() {
        auto scene = makeScene();
        select(*scene, kIE);
        clickRow(scene->grid(), 0);
        QVERIFY(QTest::qWaitForWindowExposed(scene->main));
        const QString folder = QDir(buildProgramFolder()).filePath(u"../telas"_s);
        QDir().mkpath(folder);
        QVERIFY(scene->main->grab().save(QDir(folder).filePath(u"Principal.png"_s)));
    }
};

QTEST_MAIN(PrincipalTest)
#include "PrincipalTest.moc"
