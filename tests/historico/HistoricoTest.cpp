#include "core/ProgramFolder.h"
#include "core/ServerDate.h"
#include "data/LocalDatabase.h"
#include "data/TaxpayerTable.h"
#include "net/HttpClient.h"
#include "net/Soap.h"
#include "net/TransmissionHistory.h"
#include "support/Await.h"
#include "support/ProgramFolderFixture.h"
#include "support/SeedData.h"
#include "support/ServerLauncher.h"
#include "support/TestSeams.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace fiscora;
using namespace fiscora::test;
using namespace Qt::StringLiterals;

namespace {

const QString kIE = QStringLiteral("110.042.490.114");
const QString kKey = QStringLiteral("RV7K2M9Q");

SeedCompany company() {
    return SeedCompany{
        kIE,
        QStringLiteral("12.345.678/0001-95"),
        QStringLiteral("Comercial Ribeirão Verde Ltda"),
        kKey,
        false,
        {{QStringLiteral("01/2012"),
          QStringLiteral("2012-02-10 09:00:00"),
          QStringLiteral("2012000001"),
          1,
          QStringLiteral("1.000,00"),
          {}},
         {QStringLiteral("02/2012"), QStringLiteral("2012-03-10 09:00:00"), QStringLiteral("2012000002"), 2,
          QStringLiteral("2.000,00"),
          QStringLiteral("<apuracao><GIA PROTOCOLO=\"2012000002\"><DETALHE>Com mensagens</DETALHE>"
                         "</GIA></apuracao>")}}};
}

QString call(const QString& operation, const QString& first, const QString& key) {
    const Result<QString> answer =
        test::soapAnswer(operation, {{QStringLiteral("strNome"), first},
                                     {QStringLiteral("strDiretorioDestino"), QStringLiteral("vbs")},
                                     {QStringLiteral("Chave"), key}});
    return answer ? GetResult(*answer, QStringLiteral("return")) : QStringLiteral("<falha de transporte>");
}

} // namespace

class HistoricoTest final : public QObject {
    Q_OBJECT

private:
    ServerLauncher m_server;
    std::unique_ptr<ProgramFolderFixture> m_folder;

private Q_SLOTS:
    void initTestCase() {
        const QStringList seed =
            writeSeed(m_server, {company()},
                      {{QStringLiteral("anos"), QStringLiteral("2011,2012")},
                       {QStringLiteral("dataServidor"), QStringLiteral("14/03/2012 10:22:33")},
                       {QStringLiteral("versao"), QStringLiteral("1.15.02")}});
        QVERIFY2(m_server.start(seed), qPrintable(m_server.errorString()));
        m_folder = std::make_unique<ProgramFolderFixture>(m_server.host(), m_server.port());
    }

    void serverDate_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected");
        const QDateTime when(QDate(2012, 3, 14), QTime(10, 22, 33));
        QTest::newRow("dd/MM/yyyy") << "14/03/2012 10:22:33" << when;
        QTest::newRow("ISO with blank") << "2012-03-14 10:22:33" << when;
        QTest::newRow("ISO with T") << "2012-03-14T10:22:33" << when;
        QTest::newRow("blanks around") << "  14/03/2012 10:22:33 " << when;
        QTest::newRow("date only") << "14/03/2012" << QDateTime(QDate(2012, 3, 14), QTime(0, 0));
        QTest::newRow("words") << "ontem à tarde" << QDateTime();
        QTest::newRow("impossible day") << "31/02/2012 10:00:00" << QDateTime();
        QTest::newRow("empty") << "" << QDateTime();
        QTest::newRow("cut short") << "14/03/20" << QDateTime();
    }

    void serverDate() {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const std::optional<QDateTime> parsed = parseServerDateTime(text);
        QCOMPARE(parsed.has_value(), expected.isValid());
        if (expected.isValid())
            QCOMPARE(*parsed, expected);
        QVERIFY(zeroDateTime() < QDateTime(QDate(1900, 1, 1), QTime(0, 0)));
    }

    void rows_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<bool>("parsed");
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::newRow("two in document order")
            << "<listaTransferencias><transferencia><referencia>02/2012</referencia><status>2</status>"
               "</transferencia><transferencia><data>d</data><referencia>01/2012</referencia><protocolo>p"
               "</protocolo><status>1</status><adicionado>9</adicionado></transferencia></"
               "listaTransferencias>"
            << true
            << QList<QStringList>{{u"02/2012"_s, u""_s, u""_s, u"2"_s, u""_s},
                                  {u"01/2012"_s, u"d"_s, u"p"_s, u"1"_s, u"9"_s}};
        QTest::newRow("later child wins, others ignored, case matters")
            << "<listaTransferencias><transferencia><status>1</status><Status>7</Status><x>y</x>"
               "<status>2</status></transferencia></listaTransferencias>"
            << true << QList<QStringList>{{u""_s, u""_s, u""_s, u"2"_s, u""_s}};
        QTest::newRow("other document element selects nothing")
            << u"<outra><transferencia/></outra>"_s << true << QList<QStringList>{};
        QTest::newRow("empty result") << u""_s << false << QList<QStringList>{};
        QTest::newRow("error page") << u"<html><body>500"_s << false << QList<QStringList>{};
    }

    void rows() {
        QFETCH(QString, list);
        QFETCH(bool, parsed);
        QFETCH(QList<QStringList>, rows);
        const Result<QList<QStringList>> got = transmissionRows(list);
        QCOMPARE(got.ok(), parsed);
        QCOMPARE(got.valueOr({}), rows);
    }

    void receipt_data() {
        QTest::addColumn<QString>("xml");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("texts"); // root, then "entry|tag|children..."
        QTest::newRow("details, short detail, tags")
            << "<ns:apuracao xmlns:ns=\"urn:x\"><GIA "
               "PROTOCOLO=\"77\"><DETALHE>Aceita</DETALHE><MSG>m</MSG></GIA>"
               "<DIPAM "
               "X=\"1\"><DETALHE>2.2</DETALHE></DIPAM><OUTRO><DETALHE>abcd</DETALHE></OUTRO></ns:apuracao>"
            << ""
            << QStringList{u"apuracao"_s, u"GIA: Aceita|77|Aceita|m"_s, u"DIPAM : 2.2||2.2"_s,
                           u"OUTRO: abcd|-|abcd"_s};
        QTest::newRow("external DTD is refused")
            << "<!DOCTYPE a SYSTEM \"http://127.0.0.1:9/a.dtd\"><a/>"
            << u"O documento faz referência a conteúdo externo, que não é carregado."_s << QStringList{};
        QTest::newRow("internal entity is fine")
            << "<!DOCTYPE a [<!ENTITY x \"texto longo\">]><a><b><DETALHE>&x;</DETALHE></b></a>" << u""_s
            << QStringList{u"a"_s, u"b: texto longo|-|texto longo"_s};
    }

    void receipt() {
        QFETCH(QString, xml);
        QFETCH(QString, error);
        QFETCH(QStringList, texts);
        const Result<Receipt> read = readReceipt(xml);
        QCOMPARE(read.ok(), error.isEmpty());
        if (!error.isEmpty()) {
            QCOMPARE(read.error().description, error);
            return;
        }
        const Receipt& receipt = *read;
        QStringList got{receipt.root};
        for (const ReceiptEntry& e : receipt.entries)
            got.append(QStringList{e.text, e.hasTag ? e.tag : QStringLiteral("-")} + e.children);
        QStringList expected{texts.first()};
        for (const QString& entry : texts.mid(1))
            expected.append(entry.split(QLatin1Char('|')));
        QCOMPARE(got, expected);
    }

    // The list is read by position: the server must put its values exactly there.
    void listFromServer() {
        const QString list = call(QStringLiteral("Transferencia.ver2"), kIE, kKey);
        QCOMPARE(list.mid(31, 19), QStringLiteral("14/03/2012 10:22:33"));
        QCOMPARE(list.mid(58, 9), QStringLiteral("2011,2012"));
        QCOMPARE(list.mid(77, 20), QStringLiteral("1.15.02").leftJustified(20));
        const Result<ListHeader> header = readListHeader(list);
        QVERIFY(header);
        QCOMPARE(header->serverDate, QDateTime(QDate(2012, 3, 14), QTime(10, 22, 33)));
        const QList<QStringList> rows = transmissionRows(list).valueOr({});
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows.at(0), (QStringList{u"02/2012"_s, u"10/03/2012 09:00:00"_s, u"2012000002"_s, u"2"_s,
                                          u"2.000,00"_s}));
        QCOMPARE(rows.at(1).at(ColReferencia), QStringLiteral("01/2012"));

        QCOMPARE(call(QStringLiteral("Transferencia.ver2"), kIE, QStringLiteral("ERRADA00")),
                 QStringLiteral("CHAVE_INVALIDA"));
        QCOMPARE(call(QStringLiteral("Transferencia.ver2"), QStringLiteral("648.120.377.258"), kKey),
                 QStringLiteral("CHAVE_INVALIDA"));
    }

    void receiptFromServer_data() {
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("firstEntry");
        QTest::newRow("stored receipt") << "2012000002" << kKey << "GIA: Com mensagens";
        QTest::newRow("made-up receipt")
            << "2012000001" << kKey << "GIA: Verificação concluída, sem mensagens.";
        QTest::newRow("unknown protocol") << "999" << kKey << "ERRO: Protocolo não encontrado: 999";
        QTest::newRow("wrong key") << "2012000002"
                                   << "ERRADA00"
                                   << "";
    }

    void receiptFromServer() {
        QFETCH(QString, protocol);
        QFETCH(QString, key);
        QFETCH(QString, firstEntry);
        const QString text = call(QStringLiteral("Transferencia.ver"), protocol, key);
        if (firstEntry.isEmpty()) {
            QCOMPARE(text, QStringLiteral("CHAVE_INVALIDA"));
            return;
        }
        const Result<Receipt> receipt = readReceipt(text);
        QVERIFY2(receipt, qPrintable(receipt.error().description));
        QCOMPARE(receipt->root, QStringLiteral("apuracao"));
        QCOMPARE(receipt->entries.value(0).text, firstEntry);
    }

    void receiptPage_data() {
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("contains");
        QTest::newRow("found") << "IE=110.042.490.114&key=RV7K2M9Q&ref=02/2012" << 200 << "2012000002";
        QTest::newRow("wrong key") << "IE=110.042.490.114&key=X&ref=02/2012" << 403
                                   << "Acesso não autorizado";
        QTest::newRow("unknown reference")
            << "IE=110.042.490.114&key=RV7K2M9Q&ref=05/2012" << 404 << "Protocolo não encontrado";
    }

    void receiptPage() {
        QFETCH(QString, query);
        QFETCH(int, status);
        QFETCH(QString, contains);
        if (!m_server.portalAvailable())
            QSKIP("port 80 of the loopback address cannot be bound here (needs root)");
        const Result<HttpAnswer> page = test::httpGet(QStringLiteral("http://") + m_server.host() +
                                                          QStringLiteral("/protocoloDown.php?") + query,
                                                      1 << 20);
        QVERIFY2(page.ok(), qPrintable(page.error().description));
        QCOMPARE(page->status, status);
        QVERIFY2(QString::fromUtf8(page->body).contains(contains), page->body.constData());
    }

    // The demo's local taxpayers are companies of the demo's server, with the same IE, CNPJ,
    // key and Simples flag, and the server lists their transmissions.
    void demoSeedMatchesLocalRows() {
        const QString root = QStringLiteral(FISCORA_SOURCE_DIR) + QStringLiteral("/resources/demo/");
        QFile seedFile(root + QStringLiteral("semente.json"));
        QFile sqlFile(root + QStringLiteral("contribuintes.sql"));
        QVERIFY(seedFile.open(QIODevice::ReadOnly) && sqlFile.open(QIODevice::ReadOnly));
        const QJsonArray companies =
            QJsonDocument::fromJson(seedFile.readAll()).object().value(QStringLiteral("empresas")).toArray();
        QVERIFY(companies.size() >= 3);

        ProgramFolderFixture local;
        {
            LocalDatabase db;
            QVERIFY(db.open(fiscora::test::sharedSeams().folder));
            const Status filled = db.exec(QString::fromUtf8(sqlFile.readAll()));
            QVERIFY2(filled, qPrintable(filled.error().description));
        }
        const QList<Taxpayer> rows = listTaxpayers(fiscora::test::sharedSeams().folder).valueOr({});
        QVERIFY(rows.size() >= 3);

        ServerLauncher demo;
        QVERIFY(demo.start({QStringLiteral("--semente"), seedFile.fileName()}));
        local.setServer(demo.host(), demo.port());
        for (const Taxpayer& row : rows) {
            const auto match = std::find_if(companies.begin(), companies.end(), [&row](const QJsonValue& c) {
                return c[QStringLiteral("ie")].toString() == row.IE;
            });
            QVERIFY2(match != companies.end(), qPrintable(row.IE));
            QCOMPARE(row.Cnpj, (*match)[QStringLiteral("cnpj")].toString());
            QCOMPARE(row.Chave, (*match)[QStringLiteral("chave")].toString());
            QCOMPARE(row.OptanteSimples, (*match)[QStringLiteral("simples")].toBool());
            const Result<QList<QStringList>> transmissions =
                transmissionRows(call(QStringLiteral("Transferencia.ver2"), row.IE, row.Chave));
            QVERIFY(transmissions);
            QVERIFY(transmissions->size() >= 2);
        }
        sharedSeams().folder = ProgramFolder(m_folder->path());
    }
};

QTEST_GUILESS_MAIN(HistoricoTest)
#include "HistoricoTest.moc"
