#include "data/AccountantTable.h"
#include "data/LocalDatabase.h"
#include "gui/OpenWindow.h"
#include "gui/frmContador.h"
#include "support/ProgramFolderFixture.h"
#include "support/ServerLauncher.h"
#include "support/TestMessageBox.h"
#include "support/TestServices.h"
#include "support/TopLevelWindows.h"
#include "validation/Documents.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace fiscora;
using namespace fiscora::test;
using namespace Qt::StringLiterals;

namespace {

const QString kCpfMask = u"999.999.999-99;_"_s;
const QString kCnpjMask = cnpjInputMask();
const QStringList kMasked = {u"txtCNPJCPF"_s, u"txtTelefone"_s, u"txtCEP"_s};

Accountant stored(const QString& document) {
    return Accountant{document,
                      u"1SP000001"_s,
                      u"Escritório Modelo"_s,
                      u"Rua A"_s,
                      u"1"_s,
                      u"Sala 2"_s,
                      u"Centro"_s,
                      u"Valdorra"_s,
                      u"SP"_s,
                      u"(11) 5555-0000"_s,
                      u"01234-567"_s,
                      u"contador@example.com"_s};
}

Accountant readBack(bool* found) {
    const Result<std::optional<Accountant>> stored = DadosContador(fiscora::test::sharedSeams().folder);
    if (!stored)
        qWarning("%s", qPrintable(stored.error().description));
    *found = stored && *stored;
    return *found ? **stored : Accountant{};
}

QString failureText(const QString& code) {
    return u"Falha de conexão - Cód "_s + code +
           u", \r\nfavor entrar em contato com seu administrador de redes para verificação de regras no seu "
           "firewall ou proxy. \r\n\r\nVerifique também suas configurações de antivírus.\r\n\r\nO sistema "
           "deverá "
           "se comunicar com a URL http://fiscora.valdorra.sp.gov.br/"_s;
}

} // namespace

class ContadorTest final : public QObject {
    Q_OBJECT

private:
    ServerLauncher m_server;
    std::unique_ptr<ProgramFolderFixture> m_folder;
    std::unique_ptr<TestMessageBox> m_boxes;

    frmContador* open() {
        frmContador* window = frmContador::showWindow(sharedServices());
        window->show();
        return window;
    }

    template <typename T = QLineEdit> T* field(QWidget* window, const QString& name) {
        return window->findChild<T*>(name);
    }

    QString erroMsg(QWidget* window) { return field<QLabel>(window, u"erroMsg"_s)->text(); }

    // A complete registration; "field=value" overrides, masked fields typed digit by digit.
    void fill(QWidget* window, const QStringList& overrides) {
        QMap<QString, QString> values{{u"txtCNPJCPF"_s, u"11222333000181"_s},
                                      {u"txtCRC"_s, u"1SP000001"_s},
                                      {u"txtRazaoSocial"_s, u"Escritório Modelo"_s},
                                      {u"txtLogradouro"_s, u"Rua A"_s},
                                      {u"txtNumero"_s, u"10"_s},
                                      {u"txtComplemento"_s, QString()},
                                      {u"txtBairro"_s, u"Centro"_s},
                                      {u"txtCidade"_s, u"Valdorra"_s},
                                      {u"txtUF"_s, u"SP"_s},
                                      {u"txtTelefone"_s, u"1155550000"_s},
                                      {u"txtCEP"_s, u"01234567"_s},
                                      {u"txtEmail"_s, u"contador@example.com"_s}};
        for (const QString& o : overrides)
            values.insert(o.section(QLatin1Char('='), 0, 0), o.section(QLatin1Char('='), 1));
        for (auto it = values.begin(); it != values.end(); ++it) {
            QLineEdit* edit = field(window, it.key());
            if (!edit->isEnabled())
                continue;
            edit->clear();
            if (kMasked.contains(it.key())) {
                edit->setCursorPosition(0);
                QTest::keyClicks(edit, it.value());
            } else {
                edit->setText(it.value());
            }
        }
    }

    // The server is told first: the window waits for its answer.
    void clickOk(QWidget* window) {
        const QPointer<QWidget> waiting = window;
        QTest::mouseClick(field<QPushButton>(window, u"btnOK"_s), Qt::LeftButton);
        QTRY_VERIFY(!waiting || waiting->isEnabled());
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.errorString())); }

    void init() {
        m_folder = std::make_unique<ProgramFolderFixture>(m_server.host(), m_server.port());
        m_boxes = std::make_unique<TestMessageBox>();
    }

    void cleanup() {
        deleteTopLevelWindows();
        m_boxes.reset();
        m_folder.reset();
    }

    void checksInOrder_data() {
        QTest::addColumn<bool>("cpf");
        QTest::addColumn<QStringList>("overrides");
        QTest::addColumn<bool>("crcAnswer");
        QTest::addColumn<QString>("message"); // empty: saved
        const QString cnpj = u"Documento CNPJ Informado incorretamente"_s;
        const QString email = u"Favor digitar um e-mail"_s;
        const QString name = u"Favor digitar a Razão Social corretamente"_s;
        const QString uf = u"Favor digitar o UF corretamente.  Ex: SP, RJ, PR, MG (em maiúsculo)"_s;
        QTest::newRow("complete CNPJ") << false << QStringList{} << false << "";
        QTest::newRow("complete CPF") << true << QStringList{u"txtCNPJCPF=11144477735"_s} << false << "";
        QTest::newRow("document untouched") << false << QStringList{u"txtCNPJCPF="_s} << false << cnpj;
        QTest::newRow("13 digits whose check digits match")
            << false << QStringList{u"txtCNPJCPF=1122233300182"_s} << false << cnpj;
        QTest::newRow("wrong CPF") << true << QStringList{u"txtCNPJCPF=11144477736"_s} << false
                                   << "Documento CPF Informado incorretamente";
        QTest::newRow("e-mail of 5") << false << QStringList{u"txtEmail=a@b.c"_s} << false << email;
        QTest::newRow("e-mail of 6 without at") << false << QStringList{u"txtEmail=abcdef"_s} << false << "";
        QTest::newRow("e-mail before name")
            << false << QStringList{u"txtEmail="_s, u"txtRazaoSocial="_s} << false << email;
        QTest::newRow("blank CRC, No")
            << false << QStringList{u"txtCRC=  "_s} << false
            << "Você optou por não prosseguir sem o CRC, favor digitar e clicar em OK "
               "novamente";
        QTest::newRow("blank CRC, Yes") << false << QStringList{u"txtCRC=  "_s} << true << "";
        QTest::newRow("name of 4") << false << QStringList{u"txtRazaoSocial=Abcd"_s} << false << name;
        QTest::newRow("name of 5") << false << QStringList{u"txtRazaoSocial=Abcde"_s} << false << "";
        QTest::newRow("street") << false << QStringList{u"txtLogradouro="_s} << false
                                << "Favor digitar o Endereço corretamente";
        QTest::newRow("number") << false << QStringList{u"txtNumero="_s} << false
                                << "Favor digitar o Número corretamente";
        QTest::newRow("CEP incomplete")
            << false << QStringList{u"txtCEP=0123456"_s} << false << "Favor digitar o CEP corretamente";
        QTest::newRow("district blank")
            << false << QStringList{u"txtBairro=  "_s} << false << "Favor digitar o Bairro corretamente";
        QTest::newRow("city blank") << false << QStringList{u"txtCidade= "_s} << false
                                    << "Favor digitar a Cidade corretamente";
        QTest::newRow("state in small letters") << false << QStringList{u"txtUF=sp"_s} << false << uf;
        QTest::newRow("state empty") << false << QStringList{u"txtUF="_s} << false << uf;
        QTest::newRow("state of one letter") << false << QStringList{u"txtUF=S"_s} << false << uf;
        QTest::newRow("incomplete telephone") << false << QStringList{u"txtTelefone=11555"_s} << false << "";
    }

    void checksInOrder() {
        QFETCH(bool, cpf);
        QFETCH(QStringList, overrides);
        QFETCH(bool, crcAnswer);
        QFETCH(QString, message);
        const int callsBefore = soapCalls(m_server);
        QPointer<frmContador> window = open();
        if (cpf)
            QTest::mouseClick(field<QRadioButton>(window, u"opt_fisica"_s), Qt::LeftButton);
        fill(window, overrides);
        m_boxes->queueAnswer(crcAnswer ? MessageAnswer::Yes : MessageAnswer::No);
        clickOk(window);
        // The server hears of the registration before any check.
        QTRY_COMPARE(soapCalls(m_server), callsBefore + 1);
        bool found = false;
        const Accountant row = readBack(&found);
        if (!message.isEmpty()) {
            QVERIFY(window);
            QCOMPARE(erroMsg(window), message);
            QVERIFY(!found);
            return;
        }
        QVERIFY(found);
        QTRY_VERIFY(!window);
        QCOMPARE(m_boxes->texts().last(), u"Contador cadastrado com sucesso"_s);
        QCOMPARE(m_boxes->shown().last().icon, MessageIcon::Information);
        QCOMPARE(row.cont_cpf_cnpj, cpf ? u"111.444.777-35"_s : u"11.222.333/0001-81"_s);
        QCOMPARE(row.cont_num_cep, u"01234-567"_s);
        QVERIFY(row.cont_num_telefone == u"(11) 5555-0000"_s || row.cont_num_telefone == u"(11) 555_-____"_s);
        QCOMPARE(row.cont_num_crc, crcAnswer ? QString() : u"1SP000001"_s);
    }

    // Letters typed small show, are stored and are sent upper-cased.
    void alphanumericCnpjIsSavedAndSent() {
        QPointer<frmContador> window = open();
        fill(window, {u"txtCNPJCPF=12abc34501de35"_s});
        clickOk(window);
        bool found = false;
        QCOMPARE(readBack(&found).cont_cpf_cnpj, u"12.ABC.345/01DE-35"_s);
        QCOMPARE(readBack(&found).document(), u"12ABC34501DE35"_s);
        LocalDatabase server;
        QVERIFY(server.openFile(m_server.dataFile(u"servidor.db"_s)));
        const Result<QList<DbRow>> rows =
            server.query(u"select doc from contadores order by id desc limit 1"_s);
        QVERIFY(rows);
        QCOMPARE(rows->value(0).text(u"doc"_s), u"12.ABC.345/01DE-35"_s);
    }

    void apostrophesAreSingleInTheTableAndDoubledOnTheServer() {
        QPointer<frmContador> window = open();
        fill(window, {u"txtRazaoSocial=Escritório D'Ávila"_s, u"txtLogradouro=Rua d'Ajuda"_s});
        clickOk(window);
        bool found = false;
        QCOMPARE(readBack(&found).cont_razao_nome, u"Escritório D'Ávila"_s);
        LocalDatabase server;
        QVERIFY(server.openFile(m_server.dataFile(u"servidor.db"_s)));
        const Result<QList<DbRow>> read =
            server.query(u"select nome, endereco from contadores order by id desc limit 1"_s);
        QVERIFY(read);
        const QList<DbRow>& rows = *read;
        QCOMPARE(rows.value(0).text(u"nome"_s), u"Escritório D''Ávila"_s);
        QCOMPARE(rows.value(0).text(u"endereco"_s), u"Rua d''Ajuda"_s);
    }

    void storedDocumentLocksItsMask_data() {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("mask");
        QTest::newRow("14 characters: CPF") << "111.444.777-35" << kCpfMask;
        QTest::newRow("18 characters: CNPJ") << "11.222.333/0001-81" << kCnpjMask;
        QTest::newRow("alphanumeric CNPJ") << "12.ABC.345/01DE-35" << kCnpjMask;
    }

    void storedDocumentLocksItsMask() {
        QFETCH(QString, document);
        QFETCH(QString, mask);
        QVERIFY(saveAccountant(fiscora::test::sharedSeams().folder, stored(document)));
        frmContador* window = open();
        QLineEdit* doc = field(window, u"txtCNPJCPF"_s);
        QCOMPARE(doc->inputMask(), mask);
        QCOMPARE(doc->displayText(), document);
        QVERIFY(!doc->isEnabled());
        for (const QString& name : {u"opt_fisica"_s, u"opt_juridica"_s}) {
            QVERIFY(!field<QRadioButton>(window, name)->isEnabled());
            QVERIFY(!field<QRadioButton>(window, name)->isChecked());
        }
        QCOMPARE(field(window, u"txtTelefone"_s)->displayText(), u"(11) 5555-0000"_s);
        QCOMPARE(field(window, u"txtComplemento"_s)->text(), u"Sala 2"_s);
        QCOMPARE(field<QLabel>(window, u"erroMsg"_s)->palette().color(QPalette::WindowText),
                 QColor(255, 0, 0));
    }

    // Typing starts in the first field that takes it: the document, or the CRC once the
    // document is locked; never the person type, which would swallow the digits.
    void opensWithTheFocusInTheFirstField_data() {
        QTest::addColumn<QString>("document"); // stored; empty: none
        QTest::addColumn<QString>("focused");
        QTest::newRow("not registered") << ""
                                        << "txtCNPJCPF";
        QTest::newRow("registered") << "111.444.777-35"
                                    << "txtCRC";
    }

    void opensWithTheFocusInTheFirstField() {
        QFETCH(QString, document);
        QFETCH(QString, focused);
        if (!document.isEmpty())
            QVERIFY(saveAccountant(fiscora::test::sharedSeams().folder, stored(document)));
        frmContador* window = open();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QCOMPARE(QApplication::focusWidget(), field(window, focused));
    }

    void leavingTheDocument_data() {
        QTest::addColumn<bool>("cpf");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::newRow("untouched") << false << ""
                                   << "";
        QTest::newRow("wrong CNPJ") << false << "11222333000182"
                                    << "Documento CNPJ Informado incorretamente";
        QTest::newRow("wrong CPF") << true << "11144477736"
                                   << "Documento CPF Informado incorretamente";
        QTest::newRow("right CPF") << true << "11144477735"
                                   << "";
        QTest::newRow("alphanumeric CNPJ in small letters") << false << "12abc34501de35"
                                                            << "";
        QTest::newRow("alphanumeric CNPJ, letter changed") << false << "12abd34501de35"
                                                           << "Documento CNPJ Informado incorretamente";
    }

    void leavingTheDocument() {
        QFETCH(bool, cpf);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        frmContador* window = open();
        field<QLabel>(window, u"erroMsg"_s)->setText(u"antes"_s);
        if (cpf)
            QTest::mouseClick(field<QRadioButton>(window, u"opt_fisica"_s), Qt::LeftButton);
        QLineEdit* doc = field(window, u"txtCNPJCPF"_s);
        QCOMPARE(doc->inputMask(), cpf ? kCpfMask : kCnpjMask);
        QTest::keyClicks(doc, typed);
        QFocusEvent leave(QEvent::FocusOut);
        QApplication::sendEvent(doc, &leave);
        QCOMPARE(erroMsg(window), message);
    }

    void unreachableServerTellsOnlyCode2AndKeepsTheRow() {
        QVERIFY(saveAccountant(fiscora::test::sharedSeams().folder, stored(u"111.444.777-35"_s)));
        m_folder->setServer(u"127.0.0.1"_s, 1);
        frmContador* window = open();
        fill(window, {u"txtRazaoSocial=Outro Nome"_s});
        clickOk(window);
        QCOMPARE(m_boxes->texts(), QStringList{failureText(u"2"_s)});
        QCOMPARE(m_boxes->shown().at(0).icon, MessageIcon::Critical);
        QCOMPARE(m_boxes->shown().at(0).title, u"Fiscora"_s);
        QVERIFY(erroMsg(window).isEmpty());
        bool found = false;
        QCOMPARE(readBack(&found).cont_razao_nome, u"Escritório Modelo"_s);
    }

    void failedSaveTellsCode1ThenCode2AndKeepsTheRow() {
        QVERIFY(saveAccountant(fiscora::test::sharedSeams().folder, stored(u"111.444.777-35"_s)));
        {
            LocalDatabase db;
            QVERIFY(db.open(fiscora::test::sharedSeams().folder));
            QVERIFY(db.exec(u"CREATE TRIGGER recusa BEFORE INSERT ON tblContador "
                            "BEGIN SELECT RAISE(FAIL, 'recusado'); END"_s));
        }
        QPointer<frmContador> window = open();
        fill(window, {u"txtRazaoSocial=Outro Nome"_s});
        clickOk(window);
        QCOMPARE(m_boxes->texts(), (QStringList{failureText(u"1"_s), failureText(u"2"_s)}));
        QVERIFY(window && window->isVisible());
        bool found = false;
        QCOMPARE(readBack(&found).cont_razao_nome, u"Escritório Modelo"_s);
    }

    void removeEmptiesAndReopens() {
        QVERIFY(saveAccountant(fiscora::test::sharedSeams().folder, stored(u"111.444.777-35"_s)));
        const int callsBefore = soapCalls(m_server);
        QPointer<frmContador> window = open();
        QTest::mouseClick(field<QPushButton>(window, u"Command2"_s), Qt::LeftButton);
        QTRY_VERIFY(!window);
        bool found = true;
        readBack(&found);
        QVERIFY(!found);
        frmContador* fresh = openWindow<frmContador>();
        QVERIFY(fresh && fresh->isVisible());
        QLineEdit* doc = field(fresh, u"txtCNPJCPF"_s);
        QVERIFY(doc->isEnabled());
        QCOMPARE(doc->inputMask(), kCnpjMask);
        QCOMPARE(doc->displayText(), u"__.___.___/____-__"_s);
        QVERIFY(field(fresh, u"txtRazaoSocial"_s)->text().isEmpty());
        QVERIFY(m_boxes->shown().isEmpty());
        QCOMPARE(soapCalls(m_server), callsBefore);
    }

    void removeWithoutDatabase() {
        frmContador* window = open();
        QVERIFY(QFile::remove(m_folder->file(u"fiscora.mdb"_s)));
        QTest::mouseClick(field<QPushButton>(window, u"Command2"_s), Qt::LeftButton);
        QCOMPARE(m_boxes->texts(),
                 QStringList{u"Não foi possível excluir o contador. Tente novamente mais tarde."_s});
        QCOMPARE(m_boxes->shown().at(0).icon, MessageIcon::None);
        QVERIFY(window->isVisible());
    }

    void cancelSavesAndSendsNothing() {
        const int callsBefore = soapCalls(m_server);
        QPointer<frmContador> window = open();
        fill(window, {});
        QTest::mouseClick(field<QPushButton>(window, u"Command1"_s), Qt::LeftButton);
        QTRY_VERIFY(!window);
        bool found = true;
        readBack(&found);
        QVERIFY(!found);
        QCOMPARE(soapCalls(m_server), callsBefore);
    }

    // The request keeps events flowing (timers, a close from the window system): a window closed
    // while the server is asked is gone when the answer comes, and nothing is saved for it.
    void closedWhileTheServerIsAskedSavesNothing() {
        QPointer<frmContador> window = open();
        fill(window, {});
        QTimer::singleShot(0, window, &QWidget::close);
        clickOk(window);
        QTRY_VERIFY(!window);
        bool found = true;
        readBack(&found);
        QVERIFY(!found);
        QVERIFY(m_boxes->shown().isEmpty());
    }

    void screenshot() {
        QVERIFY(saveAccountant(fiscora::test::sharedSeams().folder, stored(u"11.222.333/0001-81"_s)));
        frmContador* window = open();
        field<QLabel>(window, u"erroMsg"_s)->setText(u"Favor digitar o CEP corretamente"_s);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QString folder = QDir(buildProgramFolder()).filePath(u"../telas"_s);
        QDir().mkpath(folder);
        QVERIFY(window->grab().save(QDir(folder).filePath(u"frmContador.png"_s)));
    }
};

QTEST_MAIN(ContadorTest)
#include "ContadorTest.moc"
