#include "core/Session.h"
#include "data/TaxpayerTable.h"
#include "gui/Principal.h"
#include "gui/frmtbl_SelecionaContribuinte.h"
#include "gui/frmtbl_atualizarContribuinte.h"
#include "gui/frmtbl_exclusaoContribuinte.h"
#include "support/JournalRows.h"
#include "support/LocalTables.h"
#include "support/ProgramFolderFixture.h"
#include "support/TestMessageBox.h"
#include "support/TestServices.h"
#include "support/TopLevelWindows.h"
#include "support/Widgets.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

using namespace fiscora;
using namespace fiscora::test;
using namespace Qt::StringLiterals;

namespace {

const QList<Taxpayer> kRows = {{u"648.120.377.258"_s, u"Padaria Estrela do Vale Ltda ME"_s,
                                u"23.456.789/0001-95"_s, u"1091-1/02"_s, u"EV3P8T1L"_s, u"31.870-2"_s, true},
                               {u"110.042.490.114"_s, u"Metalúrgica Serra d'Água Ltda"_s,
                                u"12.345.678/0001-95"_s, u"4711-3/02"_s, QString(), QString(), false}};

// The windows' session lives as long as the test program.
Session& session() {
    static Session s;
    return s;
}

QWidget* makeWindow(const QString& kind) {
    if (kind == u"selecao"_s)
        return new frmtbl_SelecionaContribuinte(session(), sharedSeams()());
    if (kind == u"atualizacao"_s)
        return new frmtbl_atualizarContribuinte(session(), sharedSeams()());
    return new frmtbl_exclusaoContribuinte(session(), sharedSeams()());
}

QTableWidget* grid(QWidget* w) {
    return w->findChild<QTableWidget*>(u"GridSelContribuinte"_s);
}

void clickOk(QWidget* w) {
    QTest::mouseClick(w->findChild<QPushButton*>(u"cmdOK"_s), Qt::LeftButton);
}

} // namespace

class ListasTest final : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ProgramFolderFixture> m_folder;
    std::unique_ptr<TestMessageBox> m_boxes;
    FolderServices m_services;

    void fillTable() {
        for (const Taxpayer& row : kRows)
            QVERIFY(insertTaxpayer(fiscora::test::sharedSeams().folder, row));
    }

private Q_SLOTS:
    void init() {
        m_folder = std::make_unique<ProgramFolderFixture>();
        m_boxes = std::make_unique<TestMessageBox>();
    }

    void cleanup() {
        deleteTopLevelWindows();
        m_services.reset();
        m_boxes.reset();
        m_folder.reset();
    }

    void layoutAndLoading_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("instruction");
        QTest::newRow("selecao") << "selecao"
                                 << "Seleção de Contribuinte - Prefeitura Municipal de Valdorra"
                                 << "Selecione o Contribuinte que deseja abrir:";
        QTest::newRow("atualizacao") << "atualizacao"
                                     << "Atualização de Contribuinte - Prefeitura Municipal de Valdorra"
                                     << "Selecione o Contribuinte que deseja atualizar:";
        QTest::newRow("exclusao") << "exclusao"
                                  << "Exclusão de Contribuinte - Prefeitura Municipal de Valdorra"
                                  << "Selecione o Contribuinte que deseja excluir:";
    }

    void layoutAndLoading() {
        QFETCH(QString, kind);
        QFETCH(QString, caption);
        QFETCH(QString, instruction);
        fillTable();
        QWidget* w = makeWindow(kind);
        QCOMPARE(w->windowTitle(), caption);
        QCOMPARE(w->findChild<QLabel*>(u"Label1"_s)->text(), instruction);
        QTableWidget* g = grid(w);
        QCOMPARE(g->columnCount(), 5);
        QStringList headers;
        for (int c = 0; c < 5; ++c)
            headers.append(g->horizontalHeaderItem(c)->text());
        QCOMPARE(headers, (QStringList{u"IE"_s, u"RAZÃO SOCIAL"_s, u"CNPJ"_s, u"CNAE"_s, QString()}));
        QVERIFY(g->columnWidth(1) >= 4400 / 15);
        QCOMPARE(g->rowCount(), 2);
        QCOMPARE(g->item(0, 0)->text(), kRows[0].IE);
        QCOMPARE(g->item(0, 4)->text(), u"EV3P8T1L"_s);
        QCOMPARE(g->item(1, 1)->text(), kRows[1].RazaoSocial);
        QVERIFY(!g->item(1, 4));
        QVERIFY(m_boxes->shown().isEmpty());
    }

    void emptyTable_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("staysOpen");
        QTest::newRow("selecao") << "selecao"
                                 << "É necessário cadastrar empresa" << false;
        QTest::newRow("atualizacao") << "atualizacao"
                                     << "É necessário selecionar a empresa" << true;
        QTest::newRow("exclusao") << "exclusao"
                                  << "É necessário selecionar a empresa" << true;
    }

    void emptyTable() {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QFETCH(bool, staysOpen);
        QPointer<QWidget> w = makeWindow(kind);
        w->show();
        clickOk(w);
        QCOMPARE(m_boxes->texts(), QStringList{message});
        QCOMPARE(m_boxes->shown().at(0).title, u"fiscora"_s);
        QCOMPARE(m_boxes->shown().at(0).icon, MessageIcon::None);
        QTRY_COMPARE(bool(w), staysOpen);
    }

    // The database is reported once when the list opens; the list is then empty.
    void unreadableDatabase() {
        fillTable();
        QVERIFY(QFile::remove(m_folder->file(u"fiscora.mdb"_s)));
        QWidget* w = makeWindow(u"selecao"_s);
        QCOMPARE(m_boxes->shown().size(), 1);
        QCOMPARE(m_boxes->shown().at(0).title, u"fiscora"_s);
        QVERIFY(m_boxes->shown().at(0).text.startsWith(u"\r\nVB Error # "_s));
        QCOMPARE(grid(w)->rowCount(), 0);
    }

    void deletion_data() {
        QTest::addColumn<MessageAnswer>("answer");
        QTest::newRow("No") << MessageAnswer::No;
        QTest::newRow("Yes") << MessageAnswer::Yes;
    }

    void deletion() {
        QFETCH(MessageAnswer, answer);
        fillTable();
        QPointer<QWidget> w = makeWindow(u"exclusao"_s);
        w->show();
        grid(w)->setCurrentCell(1, 0);
        m_boxes->queueAnswer(answer);
        clickOk(w);
        QCOMPARE(m_boxes->shown().at(0).text, u"Deseja realmente excluir este contribuinte"_s);
        QCOMPARE(m_boxes->shown().at(0).buttons, MessageButtons::YesNo);
        if (answer == MessageAnswer::No) {
            QCOMPARE(m_boxes->shown().size(), 1);
            QCOMPARE(storedTaxpayers().size(), 2);
            QVERIFY(w && w->isVisible());
            return;
        }
        QCOMPARE(m_boxes->texts().last(), u"Contribuinte Excluído"_s);
        QCOMPARE(m_boxes->shown().last().icon, MessageIcon::Information);
        QCOMPARE(storedTaxpayers().size(), 1);
        QCOMPARE(storedTaxpayers().at(0).IE, kRows[0].IE);
        QTRY_VERIFY(!w);
    }

    void updateOpensTheEditWindowFilled() {
        fillTable();
        QPointer<QWidget> w = makeWindow(u"atualizacao"_s);
        w->show();
        grid(w)->setCurrentCell(0, 2);
        clickOk(w);
        QTRY_VERIFY(!w);
        QWidget* edit = window(u"frmtbl_CadastroContribuinte"_s);
        QVERIFY(edit);
        const auto text = [edit](const QString& name) {
            return edit->findChild<QLineEdit*>(name)->text();
        };
        QCOMPARE(text(u"txtIE"_s), kRows[0].IE);
        QCOMPARE(text(u"txtRazaoSocial"_s), kRows[0].RazaoSocial);
        QCOMPARE(text(u"txtCNPJ"_s), kRows[0].Cnpj);
        QCOMPARE(text(u"txtCNAE"_s), kRows[0].Cnae);
        QCOMPARE(text(u"Chave"_s), kRows[0].Chave);
        QCOMPARE(text(u"txtInscMunicipal"_s), kRows[0].CCM);
        QVERIFY(edit->findChild<QCheckBox*>(u"flag_optantesimples"_s)->isChecked());
    }

    // The row went away after the list was read: the update ends in its own message.
    void updateOfAVanishedRow() {
        fillTable();
        QPointer<QWidget> w = makeWindow(u"atualizacao"_s);
        w->show();
        QVERIFY(deleteTaxpayer(fiscora::test::sharedSeams().folder, kRows[0].IE));
        clickOk(w);
        QCOMPARE(m_boxes->texts(), QStringList{u"É necessário cadastrar empresa"_s});
        QCOMPARE(m_boxes->shown().at(0).icon, MessageIcon::Information);
        QVERIFY(w && w->isVisible());
        QVERIFY(!window(u"frmtbl_CadastroContribuinte"_s));
    }

    // Each list as the main window opens it from its menu.
    void closingEnablesTheMainWindow_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("name");
        QTest::newRow("selecao") << "mnContribuinteSelecionar"
                                 << "frmtbl_SelecionaContribuinte";
        QTest::newRow("atualizacao") << "mnAtualizar"
                                     << "frmtbl_atualizarContribuinte";
        QTest::newRow("exclusao") << "mnExcluir"
                                  << "frmtbl_exclusaoContribuinte";
    }

    void closingEnablesTheMainWindow() {
        QFETCH(QString, command);
        QFETCH(QString, name);
        auto* main = new Principal(session(), m_services());
        child<QAction>(main, command)->trigger();
        main->setEnabled(false);
        QWidget* w = window(name);
        QVERIFY(w);
        QTest::mouseClick(w->findChild<QPushButton*>(u"cmdCancelar"_s), Qt::LeftButton);
        QVERIFY(main->isEnabled());
        QVERIFY(m_boxes->shown().isEmpty());
    }

    void screenshot() {
        fillTable();
        QWidget* w = makeWindow(u"selecao"_s);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QString folder = QDir(buildProgramFolder()).filePath(u"../telas"_s);
        QDir().mkpath(folder);
        QVERIFY(w->grab().save(QDir(folder).filePath(u"frmtbl_SelecionaContribuinte.png"_s)));
    }
};

QTEST_MAIN(ListasTest)
#include "ListasTest.moc"
