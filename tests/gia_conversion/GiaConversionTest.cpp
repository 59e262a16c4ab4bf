#include "data/GiaConversion.h"
#include "app/CommandLine.h"
#include "data/AccessReader.h"
#include "data/AccessValue.h"
#include "data/GiaDatabaseReader.h"
#include "data/GiaTextConverter.h"
#include "data/NovaGiaLayout.h"
#include "support/Await.h"
#include "support/GiaTextBuilder.h"
#include "support/ProgramFolderFixture.h"
#include "support/ServerLauncher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>

using namespace fiscora;
using T = fiscora::test::GiaTextBuilder;
using namespace Qt::StringLiterals;

namespace {

const QByteArray kIe = "123456789012";
const QString kIeShown = u"123.456.789.012"_s;

QDate dateOf(const jet::Value& value) {
    return AccessValue::toDate(value);
}

jet::Value currency(qint64 cents) {
    return jet::Currency{cents * 100};
}

} // namespace

class GiaConversionTest final : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::ProgramFolderFixture> m_folder;
    AccessDatabase m_package;

    QString textFile(const QList<QByteArray>& lines, const QByteArray& end = "\r\n") {
        m_folder->writeFile(u"dados.prf"_s, T::file(lines, end));
        return m_folder->file(u"dados.prf"_s);
    }

    QString packagePath() const { return m_folder->file(u"atual.mdb"_s); }

    // Runs the real program where a window could not open: the exit code, -1 when it hangs, -2
    // when it crashes.
    static int runProgram(const QStringList& arguments, QByteArray* stdOut, QByteArray* stdErr) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(test::builtProgram(u"fiscora"_s), arguments);
        if (!program.waitForFinished(30000))
            return -1;
        *stdOut = program.readAllStandardOutput();
        *stdErr = program.readAllStandardError();
        return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -2;
    }
    QString templatePath() const { return m_folder->file(u"gia_limpa.mdb"_s); }

    // Converts the lines into atual.mdb and reads the package back.
    GiaConversion::Outcome convert(const QList<QByteArray>& lines, const QByteArray& end = "\r\n") {
        const GiaConversion::Outcome result =
            test::convertGia(textFile(lines, end), packagePath(), templatePath());
        m_package = AccessDatabase();
        if (result.ok) {
            const AccessReader::Reading read = test::readAccess(packagePath());
            if (!read.ok())
                qWarning() << "package unreadable:" << read.detail;
            m_package = read.database;
        }
        return result;
    }

    const QList<jet::Row>& rows(const QString& table) const {
        static const QList<jet::Row> none;
        const AccessTable* t = m_package.table(table);
        return t ? t->rows : none;
    }

    jet::Value cell(const QString& table, int row, const QString& column) const {
        const AccessTable* t = m_package.table(table);
        if (!t || row >= t->rows.size() || t->column(column) < 0)
            return jet::Value(u"<missing>"_s);
        return t->rows.at(row).at(t->column(column));
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(QFile::exists(QDir(test::buildProgramFolder()).filePath(u"gia_limpa.mdb"_s)));
    }

    void init() { m_folder = std::make_unique<test::ProgramFolderFixture>(); }
    void cleanup() { m_folder.reset(); }

    void templateHoldsTheLayoutAndNoRows() {
        const AccessReader::Reading read = test::readAccess(templatePath());
        QVERIFY2(read.ok(), qPrintable(read.detail));
        QCOMPARE(read.database.jetVersion, 4);
        const QList<jet::Table>& layout = NovaGiaLayout::tables();
        QCOMPARE(read.database.tables.size(), layout.size());
        for (const jet::Table& expected : layout) {
            const AccessTable* table = read.database.table(expected.name);
            QVERIFY2(table, qPrintable(expected.name));
            QCOMPARE(table->name(), expected.name);
            QVERIFY(table->rows.isEmpty());
            QCOMPARE(table->definition.columns.size(), expected.columns.size());
            for (qsizetype i = 0; i < expected.columns.size(); ++i) {
                const jet::Column& want = expected.columns.at(i);
                const jet::Column& got = table->definition.columns.at(i);
                QCOMPARE(got.name, want.name);
                QCOMPARE(got.type, want.type);
                QCOMPARE(got.size, want.size);
                QCOMPARE(got.autoNumber, want.autoNumber);
            }
        }
        // Read by position by the company import: IE, name, CNPJ, CNAE.
        const AccessTable* taxpayers = read.database.table(u"tblContribuinte"_s);
        QCOMPARE(taxpayers->definition.columns.at(1).name, NovaGiaLayout::taxpayerNameColumn);
    }

    void oneGiaGivesOneTaxpayerAndGiaOne() {
        const auto result = convert({T::header01(), T::gia05(kIe, "200905")});
        QVERIFY2(result.ok, qPrintable(result.message));
        QCOMPARE(result.gias, 1);
        QCOMPARE(rows(u"tblContribuinte"_s).size(), 1);
        QCOMPARE(cell(u"tblContribuinte"_s, 0, u"IE"_s), jet::Value(kIeShown));
        QCOMPARE(cell(u"tblContribuinte"_s, 0, u"CNPJ"_s), jet::Value(u"12.345.678/0001-95"_s));
        QCOMPARE(cell(u"tblContribuinte"_s, 0, u"CNAE"_s), jet::Value(u"4711-3/02"_s));
        QCOMPARE(cell(u"tblContribuinte"_s, 0, NovaGiaLayout::taxpayerNameColumn), jet::Value());
        QCOMPARE(rows(u"tblGIA"_s).size(), 1);
        QCOMPARE(cell(u"tblGIA"_s, 0, u"NroGIA"_s), jet::Value(qint64(1)));
        const auto listing = test::listGias(packagePath(), kIeShown);
        QCOMPARE(listing.outcome, GiaDatabaseReader::Outcome::Ok);
        QCOMPARE(listing.rows.size(), 1);
        const auto taxpayers = test::readTaxpayers(packagePath());
        QCOMPARE(taxpayers.rows,
                 QList<QStringList>({{kIeShown, u""_s, u"12.345.678/0001-95"_s, u"4711-3/02"_s}}));
    }

    void giasOfOneTaxpayerShareItsRow() {
        const auto result =
            convert({T::gia05(kIe, "200905"), T::gia05(kIe, "200906"), T::gia05("111222333444", "200905")});
        QVERIFY2(result.ok, qPrintable(result.message));
        QCOMPARE(rows(u"tblContribuinte"_s).size(), 2);
        QCOMPARE(rows(u"tblGIA"_s).size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(cell(u"tblGIA"_s, i, u"NroGIA"_s), jet::Value(qint64(i + 1)));
        QCOMPARE(cell(u"tblGIA"_s, 2, u"IE"_s), jet::Value(u"111.222.333.444"_s));
    }

    void giaFieldsAndListing_data() {
        QTest::addColumn<QByteArray>("month");
        QTest::addColumn<QByteArray>("regTrib");
        QTest::addColumn<QByteArray>("tipo");
        QTest::addColumn<GiaListRow>("shown");
        QTest::newRow("RES normal") << QByteArray("200905") << QByteArray("02") << QByteArray("01")
                                    << GiaListRow{u"1"_s, u"05/2009"_s, u"RES"_s, u"Normal"_s};
        QTest::newRow("RES substitutiva") << QByteArray("200905") << QByteArray("02") << QByteArray("02")
                                          << GiaListRow{u"1"_s, u"05/2009"_s, u"RES"_s, u"Substitutiva"_s};
        QTest::newRow("December 2020") << QByteArray("202012") << QByteArray("01") << QByteArray("01")
                                       << GiaListRow{u"1"_s, u"12/2020"_s, u"RPA"_s, u"Normal"_s};
        QTest::newRow("unknown regime") << QByteArray("201001") << QByteArray("09") << QByteArray("01")
                                        << GiaListRow{u"1"_s, u"01/2010"_s, u"09"_s, u"Normal"_s};
    }

    void giaFieldsAndListing() {
        QFETCH(QByteArray, month);
        QFETCH(QByteArray, regTrib);
        QFETCH(QByteArray, tipo);
        QFETCH(GiaListRow, shown);
        const auto result = convert({T::gia05(kIe, month, regTrib, tipo, "1")});
        QVERIFY2(result.ok, qPrintable(result.message));
        const QDate ref = dateOf(cell(u"tblGIA"_s, 0, u"Ref1"_s));
        QCOMPARE(ref, QDate(month.left(4).toInt(), month.mid(4).toInt(), 20));
        QCOMPARE(cell(u"tblGIA"_s, 0, u"Tipo"_s), jet::Value(qint64(tipo.toInt())));
        QCOMPARE(cell(u"tblGIA"_s, 0, u"RegTrib"_s), jet::Value(QString::fromLatin1(regTrib)));
        QCOMPARE(cell(u"tblGIA"_s, 0, u"Movimento"_s), jet::Value(qint64(1)));
        const auto listing = test::listGias(packagePath(), kIeShown);
        QCOMPARE(listing.rows, QList<GiaListRow>{shown});
    }

    void listingOrdersByMonthAndKeepsToTheTaxpayer() {
        const auto result = convert({T::gia05(kIe, "200907"), T::gia05("999999999999", "200901"),
                                     T::gia05(kIe, "200812"), T::gia05(kIe, "200903")});
        QVERIFY2(result.ok, qPrintable(result.message));
        const auto listing = test::listGias(packagePath(), kIeShown);
        QStringList shown;
        for (const GiaListRow& row : listing.rows)
            shown.append(row.number + u' ' + row.reference);
        QCOMPARE(shown, QStringList({u"3 12/2008"_s, u"4 03/2009"_s, u"1 07/2009"_s}));
        QCOMPARE(test::listGias(packagePath(), u"000.000.000.000"_s).outcome,
                 GiaDatabaseReader::Outcome::NoGia);
    }

    // Whole-number positions all blank: an amount below one real.
    void amountWithoutWholePart() {
        QByteArray line = T::cfop10("5102  ", {1});
        line.replace(8, 15, "             50");
        const auto result = convert({T::gia05(kIe, "200905"), line});
        QVERIFY2(result.ok, qPrintable(result.message));
        QCOMPARE(cell(u"tblDetalhesCFOPs"_s, 0, u"ValorContábil"_s), currency(50));
    }

    void amountsAreExact() {
        const QList<qint64> cents{1234567, 0, 1, 999999999999999, 100, 50, 999999999999999, 10, 7};
        const auto result = convert({T::gia05(kIe, "200905"), T::cfop10("5102  ", cents)});
        QVERIFY2(result.ok, qPrintable(result.message));
        const QStringList columns{u"ValorContábil"_s,
                                  u"BaseCálculo"_s,
                                  u"Imposto"_s,
                                  u"IsentasNãoTrib"_s,
                                  u"Outras"_s,
                                  u"ImpostoRetidoST"_s,
                                  u"ImpRetSubstitutoST"_s,
                                  u"ImpRetSubstituido"_s,
                                  u"OutrosImpostos"_s};
        for (int i = 0; i < columns.size(); ++i) {
            QCOMPARE(cell(u"tblDetalhesCFOPs"_s, 0, columns.at(i)), currency(cents.at(i)));
        }
        QCOMPARE(AccessValue::toText(cell(u"tblDetalhesCFOPs"_s, 0, u"ValorContábil"_s)), u"12345.67"_s);
        QCOMPARE(AccessValue::toText(cell(u"tblDetalhesCFOPs"_s, 0, u"Imposto"_s)), u"0.01"_s);
        QCOMPARE(AccessValue::toText(cell(u"tblDetalhesCFOPs"_s, 0, u"IsentasNãoTrib"_s)),
                 u"9999999999999.99"_s);
        QCOMPARE(AccessValue::toText(cell(u"tblDetalhesCFOPs"_s, 0, u"ImpostoRetidoST"_s)), u"0.5"_s);
        QCOMPARE(cell(u"tblDetalhesCFOPs"_s, 0, u"CFOP"_s), jet::Value(u"5.102"_s));
        QCOMPARE(cell(u"tblDetalhesCFOPs"_s, 0, u"NroGIA"_s), jet::Value(qint64(1)));
    }

    void nestedRecordsTakeTheirParents() {
        const auto result = convert({
            T::gia05(kIe, "200905"),
            T::cfop10("6102  "),
            T::interUf14("RJ", {100}),
            T::zfm18("000012345", "20090514", 250),
            T::zfm18("000012346", "20090515", 251),
            T::cfop10("6108  "),
            T::interUf14("AM", {}),
            T::zfm18("000000001", "20090516", 1),
            T::gia05(kIe, "200906"),
            T::cfop10("6949  "),
            T::interUf14("SP", {}),
            T::zfm18("000000002", "20090616", 2),
        });
        QVERIFY2(result.ok, qPrintable(result.message));
        QCOMPARE(rows(u"tblDetalhesInterUFs"_s).size(), 3);
        QCOMPARE(cell(u"tblDetalhesInterUFs"_s, 0, u"CFOP"_s), jet::Value(u"6.102"_s));
        QCOMPARE(cell(u"tblDetalhesInterUFs"_s, 0, u"UF"_s), jet::Value(u"RJ"_s));
        QCOMPARE(cell(u"tblDetalhesInterUFs"_s, 0, u"ValorContábil_1"_s), currency(100));
        QCOMPARE(rows(u"tblZFM_ALC"_s).size(), 4);
        QCOMPARE(cell(u"tblZFM_ALC"_s, 1, u"CFOP"_s), jet::Value(u"6.102"_s));
        QCOMPARE(cell(u"tblZFM_ALC"_s, 1, u"UF"_s), jet::Value(u"RJ"_s));
        QCOMPARE(cell(u"tblZFM_ALC"_s, 1, u"NF"_s), jet::Value(u"000012346"_s));
        QCOMPARE(dateOf(cell(u"tblZFM_ALC"_s, 1, u"Data"_s)), QDate(2009, 5, 15));
        QCOMPARE(cell(u"tblZFM_ALC"_s, 1, u"Valor"_s), currency(251));
        QCOMPARE(cell(u"tblZFM_ALC"_s, 1, u"CNPJDest"_s), jet::Value(u"98.765.432/0001-98"_s));
        QCOMPARE(cell(u"tblZFM_ALC"_s, 1, u"MunicípioDest"_s), jet::Value(u"12345"_s));
        QCOMPARE(cell(u"tblZFM_ALC"_s, 2, u"CFOP"_s), jet::Value(u"6.108"_s));
        QCOMPARE(cell(u"tblZFM_ALC"_s, 2, u"UF"_s), jet::Value(u"AM"_s));
        QCOMPARE(cell(u"tblZFM_ALC"_s, 3, u"NroGIA"_s), jet::Value(qint64(2)));
        QCOMPARE(cell(u"tblZFM_ALC"_s, 3, u"UF"_s), jet::Value(u"SP"_s));
    }

    void occurrencesAndTheirDetails() {
        const QString legal = u"Art. 1º, d'água"_s;
        const QString text = u"Crédito de ICMS sobre água e gás – 'aprovado'"_s;
        const auto result = convert({
            T::gia05(kIe, "200905"),
            T::occurrence20("00201", 1234567, legal, text, "1"),
            T::sender25("111111111111", 10),
            T::substitute26("222222222222", "000000077", "200901", "200912", 20),
            T::substituted27("333333333333", "000000078", 30),
            T::receipt28("ABC123456789", 40),
            T::occurrence20("00202", 5, u""_s, u"segunda"_s, "0"),
            T::receipt28("000000000002", 41),
            T::dipam30("22", "35503", 500),
            T::export31("123456789012345"),
        });
        QVERIFY2(result.ok, qPrintable(result.message));
        QCOMPARE(rows(u"tblOcorrências"_s).size(), 2);
        QCOMPARE(cell(u"tblOcorrências"_s, 0, u"Código"_s), jet::Value(qint64(1)));
        QCOMPARE(cell(u"tblOcorrências"_s, 1, u"Código"_s), jet::Value(qint64(2)));
        QCOMPARE(cell(u"tblOcorrências"_s, 0, u"CódSubItem"_s), jet::Value(u"002.01"_s));
        QCOMPARE(cell(u"tblOcorrências"_s, 0, u"Valor"_s), currency(1234567));
        QCOMPARE(cell(u"tblOcorrências"_s, 0, u"OpPróprias"_s), jet::Value(qint64(1)));
        // Texts are kept as cut from the line: blanks included, one apostrophe each.
        QCOMPARE(cell(u"tblOcorrências"_s, 0, u"FLegal"_s), jet::Value(legal.leftJustified(100)));
        QCOMPARE(cell(u"tblOcorrências"_s, 0, u"Ocorrência"_s), jet::Value(text.leftJustified(300)));
        QCOMPARE(cell(u"tblIEsRemetente"_s, 0, u"Código"_s), jet::Value(qint64(1)));
        QCOMPARE(cell(u"tblIEsRemetente"_s, 0, u"IERemetente"_s), jet::Value(u"111.111.111.111"_s));
        QCOMPARE(cell(u"tblIESubstituto"_s, 0, u"NF"_s), jet::Value(u"000000077"_s));
        QCOMPARE(dateOf(cell(u"tblIESubstituto"_s, 0, u"DataInicio"_s)), QDate(2009, 1, 20));
        QCOMPARE(dateOf(cell(u"tblIESubstituto"_s, 0, u"DataFim"_s)), QDate(2009, 12, 20));
        QCOMPARE(cell(u"tblIRSubstituido"_s, 0, u"Valor"_s), currency(30));
        QCOMPARE(cell(u"tblRecibosCredito"_s, 0, u"CodAutorização"_s), jet::Value(u"ABC123456789"_s));
        QCOMPARE(cell(u"tblRecibosCredito"_s, 1, u"Código"_s), jet::Value(qint64(2)));
        QCOMPARE(cell(u"tblDIPAM"_s, 0, u"CódDIPAM"_s), jet::Value(u"2.2"_s));
        QCOMPARE(cell(u"tblDIPAM"_s, 0, u"Município"_s), jet::Value(u"35503"_s));
        QCOMPARE(cell(u"tblRegistroExportação"_s, 0, u"RE"_s), jet::Value(u"123456789012345"_s));
    }

    void recordsThatCarryNothingChangeNothing() {
        const auto result = convert({T::header01(), QByteArray(), T::other07(), T::gia05(kIe, "200905"),
                                     "99" + QByteArray(300, '9'), "7", "", "AB123", T::other07()},
                                    "\n");
        QVERIFY2(result.ok, qPrintable(result.message));
        int total = 0;
        for (const AccessTable& table : m_package.tables)
            total += int(table.rows.size());
        QCOMPARE(total, 2); // the taxpayer and its GIA
    }

    void longLinesAndTheLastLineWithoutItsEnd() {
        const QByteArray text = T::gia05(kIe, "200905") + QByteArray(100000, 'x') + "\r\n" +
                                T::cfop10("5102  ") + "\n" + T::cfop10("5405  ");
        m_folder->writeFile(u"dados.prf"_s, text);
        const auto result = test::convertGia(m_folder->file(u"dados.prf"_s), packagePath(), templatePath());
        QVERIFY2(result.ok, qPrintable(result.message));
        const AccessReader::Reading read = test::readAccess(packagePath());
        QVERIFY(read.ok());
        m_package = read.database;
        QCOMPARE(rows(u"tblGIA"_s).size(), 1);
        QCOMPARE(rows(u"tblDetalhesCFOPs"_s).size(), 2);
        QCOMPARE(cell(u"tblDetalhesCFOPs"_s, 1, u"CFOP"_s), jet::Value(u"5.405"_s));
    }

    void secondConversionReplacesThePackage() {
        QVERIFY(convert({T::gia05(kIe, "200905"), T::gia05(kIe, "200906"), T::dipam30("11", "00001", 1)}).ok);
        QCOMPARE(rows(u"tblGIA"_s).size(), 2);
        const auto second = convert({T::gia05("555555555555", "201001")});
        QVERIFY2(second.ok, qPrintable(second.message));
        QCOMPARE(second.gias, 1);
        QCOMPARE(rows(u"tblGIA"_s).size(), 1);
        QCOMPARE(cell(u"tblGIA"_s, 0, u"NroGIA"_s), jet::Value(qint64(1)));
        QCOMPARE(rows(u"tblContribuinte"_s).size(), 1);
        QVERIFY(rows(u"tblDIPAM"_s).isEmpty());
    }

    void faultsStopWithTheLineAndLeaveNoPackage_data() {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QString>("expected");
        const QByteArray gia = T::gia05(kIe, "200905");
        QTest::newRow("line too short")
            << QList<QByteArray>{gia, T::cfop10("5102  ").left(100)}
            << u"Linha 2: o registro do tipo 10 tem 100 caracteres, mas seus campos vão até a posição 143."_s;
        QTest::newRow("short 05")
            << QList<QByteArray>{T::header01(), gia.left(51)}
            << u"Linha 2: o registro do tipo 05 tem 51 caracteres, mas seus campos vão até a posição 52."_s;
        QTest::newRow("14 before any 10")
            << QList<QByteArray>{gia, T::interUf14("RJ")}
            << u"Linha 2: registro do tipo 14 sem um registro 10 (CFOP) antes dele na mesma GIA."_s;
        QTest::newRow("18 before any 10") << QList<QByteArray>{gia, T::zfm18("1", "20090101", 1)}
                                          << u"Linha 2: registro do tipo 18 sem um registro 10"_s;
        QTest::newRow("18 without its 14")
            << QList<QByteArray>{gia, T::cfop10("6102  "), T::zfm18("000000001", "20090101", 1)}
            << u"Linha 3: registro do tipo 18 sem um registro 14"_s;
        QTest::newRow("10 of the GIA before")
            << QList<QByteArray>{gia, T::cfop10("6102  "), T::gia05(kIe, "200906"), T::interUf14("RJ")}
            << u"Linha 4: registro do tipo 14 sem um registro 10"_s;
        QTest::newRow("25 before any 20") << QList<QByteArray>{gia, T::sender25("111111111111", 1)}
                                          << u"Linha 2: registro do tipo 25 sem um registro 20"_s;
        QTest::newRow("28 after the 20 of the GIA before")
            << QList<QByteArray>{gia, T::occurrence20("00201", 1, u""_s, u""_s), T::gia05(kIe, "200906"),
                                 T::receipt28("000000000001", 1)}
            << u"Linha 4: registro do tipo 28 sem um registro 20"_s;
        QTest::newRow("detail before any 05")
            << QList<QByteArray>{T::header01(), T::dipam30("11", "00001", 1)}
            << u"Linha 2: registro do tipo 30 antes do primeiro registro 05"_s;
        QTest::newRow("amount with letters")
            << QList<QByteArray>{gia, "10" + QByteArray("5102  ") + "00000000000A123" + QByteArray(124, '0')}
            << u"Linha 2: o campo ValorContábil (posição 9, 15 caracteres) não contém um valor"_s;
        QTest::newRow("blank type")
            << QList<QByteArray>{T::gia05(kIe, "200905", "02", "  ")}
            << u"Linha 1: o campo Tipo (posição 50, 2 caracteres) não contém um número: \"  \"."_s;
        QTest::newRow("month 13")
            << QList<QByteArray>{T::gia05(kIe, "200913")}
            << u"Linha 1: o campo Ref1 (posição 38, 6 caracteres) não contém um mês válido"_s;
        QTest::newRow("byte 0 in a text")
            << QList<QByteArray>{gia, T::occurrence20("00201", 1, u"a"_s, u"b"_s)
                                          .replace(130, 1, QByteArray(1, '\0'))}
            << u"Linha 2: o campo Ocorrência (posição 124, 300 caracteres) contém o caractere nulo (byte 0)"_s;
        QTest::newRow("31 February")
            << QList<QByteArray>{gia, T::cfop10("6102  "), T::interUf14("RJ"), T::zfm18("1", "20090231", 1)}
            << u"Linha 4: o campo Data (posição 12, 8 caracteres) não contém uma data válida"_s;
    }

    void faultsStopWithTheLineAndLeaveNoPackage() {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QString, expected);
        m_folder->writeFile(u"atual.mdb"_s, "an older package");
        const auto result = convert(lines);
        QVERIFY(!result.ok);
        QVERIFY2(result.message.contains(expected), qPrintable(result.message));
        QVERIFY(result.message.startsWith(u"Não foi possível converter o arquivo GIA dados.prf."_s));
        // Bytes of the file reach the message as text: no control character but its line break.
        for (const QChar c : result.message)
            QVERIFY2(c == u'\n' || c.unicode() >= 0x20, qPrintable(result.message));
        QVERIFY(!QFile::exists(packagePath()));
        QVERIFY(QFile::exists(templatePath()));
    }

    // A package cut short loses rows, not only its end: the listing must not read it as a
    // package without the taxpayer's GIAs.
    void truncatedPackageIsInvalid() {
        QList<QByteArray> lines;
        for (int g = 0; g < 200; ++g)
            lines += {T::gia05(kIe, "200905"), T::cfop10("5102  ", {g})};
        QVERIFY(convert(lines).ok);
        QFile package(packagePath());
        for (const qint64 keep : {package.size() / 2, package.size() / 2 / 4096 * 4096}) {
            QVERIFY(QFile::copy(packagePath(), m_folder->file(u"cortado.mdb"_s)));
            QFile cut(m_folder->file(u"cortado.mdb"_s));
            QVERIFY(cut.resize(keep));
            QCOMPARE(test::listGias(cut.fileName(), kIeShown).outcome,
                     GiaDatabaseReader::Outcome::InvalidFile);
            QVERIFY(cut.remove());
        }
    }

    void fileWithoutGiaIsNoGiaFile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("header only") << T::file({T::header01()});
        static const char binary[] = "\x7F"
                                     "ELF\x02\x01\x01\0\0\0\n\x05\0\xFF";
        QTest::newRow("binary") << QByteArray(binary, sizeof binary - 1);
        const QString text = QString::fromLatin1(T::file({T::gia05(kIe, "200905")}));
        QTest::newRow("UTF-16") << QByteArray("\xFF\xFE") +
                                       QByteArray(reinterpret_cast<const char*>(text.utf16()),
                                                  text.size() * 2);
    }

    void fileWithoutGiaIsNoGiaFile() {
        QFETCH(QByteArray, bytes);
        m_folder->writeFile(u"dados.prf"_s, bytes);
        const auto result = test::convertGia(m_folder->file(u"dados.prf"_s), packagePath(), templatePath());
        QVERIFY(!result.ok);
        QVERIFY2(result.message.contains(u"não contém nenhuma GIA"_s), qPrintable(result.message));
        QVERIFY(!QFile::exists(packagePath()));
    }

    // The disk filling up while the package is written: a file system of its own, in a mount
    // namespace, too small for the package.
    void fullDiskIsNamed() {
        const QString unshare = QStandardPaths::findExecutable(u"unshare"_s);
        QProcess probe;
        if (!unshare.isEmpty())
            probe.start(unshare, {u"-Urm"_s, u"true"_s});
        if (unshare.isEmpty() || !probe.waitForFinished(10000) || probe.exitCode() != 0)
            QSKIP("no mount namespaces here");
        const QString text = textFile({T::gia05(kIe, "200905"), T::cfop10("5102  ")});
        const QString mount = m_folder->file(u"pequeno"_s);
        QVERIFY(QDir().mkpath(mount));
        // Room for the template's copy, not for the package written beside it.
        const qint64 room = (QFileInfo(templatePath()).size() * 3 / 2 / 4096 + 1) * 4096;
        QProcess program;
        program.start(unshare, {u"-Urm"_s, u"sh"_s, u"-c"_s,
                                u"mount -t tmpfs -o size=%1 tmpfs \"$1\" && \"$2\" --pasta \"$3\" "
                                u"--converter \"$4\" \"$1/saida.mdb\""_s.arg(room),
                                u"sh"_s, mount, test::builtProgram(u"fiscora"_s), m_folder->path(), text});
        QVERIFY(program.waitForFinished(30000));
        const QString err = QString::fromUtf8(program.readAllStandardError());
        QCOMPARE(program.exitCode(), 1);
        QVERIFY2(err.contains(u"o disco está cheio"_s), qPrintable(err));
    }

    void unreadableInputsAreReported() {
        auto result = test::convertGia(m_folder->file(u"nao-existe.prf"_s), packagePath(), templatePath());
        QVERIFY(!result.ok);
        QVERIFY2(result.message.contains(u"Não foi possível abrir o arquivo GIA nao-existe.prf"_s),
                 qPrintable(result.message));
        QVERIFY(!QFile::exists(packagePath()));

        result = test::convertGia(m_folder->path(), packagePath(), templatePath());
        QVERIFY(!result.ok);
        QVERIFY(!QFile::exists(packagePath()));

        const QString text = textFile({T::gia05(kIe, "200905")});
        result = test::convertGia(text, packagePath(), m_folder->file(u"sem-modelo.mdb"_s));
        QVERIFY(!result.ok);
        QVERIFY2(result.message.contains(u"O modelo do pacote (sem-modelo.mdb) não foi encontrado"_s),
                 qPrintable(result.message));

        m_folder->writeFile(u"modelo-estragado.mdb"_s, QByteArray(8192, 'x'));
        result = test::convertGia(text, packagePath(), m_folder->file(u"modelo-estragado.mdb"_s));
        QVERIFY(!result.ok);
        QVERIFY2(result.message.contains(u"não pôde ser lido"_s), qPrintable(result.message));
        QVERIFY(!QFile::exists(packagePath()));

        // Writing the package over the template or the text file would destroy them first.
        result = test::convertGia(text, templatePath(), templatePath());
        QVERIFY(!result.ok);
        QVERIFY(QFile::exists(templatePath()));
        result = test::convertGia(text, text, templatePath());
        QVERIFY(!result.ok);
        QVERIFY(QFile::exists(text));
    }

    // A conversion reports later, never inside the call; one whose caller went reports nothing
    // and leaves no package, nor the temporary file of a replacing one.
    void conversionEndsWithItsCaller() {
        const QString text = textFile({T::gia05(kIe, "200905")});
        bool reported = false;
        auto context = std::make_unique<QObject>();
        GiaConversion::convert(test::builtReader(), text, packagePath(), templatePath(), context.get(),
                               [&](const GiaConversion::Outcome&) { reported = true; });
        GiaConversion::convertReplacing(test::builtReader(), text, m_folder->file(u"saida.mdb"_s),
                                        templatePath(), context.get(),
                                        [&](const GiaConversion::Outcome&) { reported = true; });
        QVERIFY(!reported);
        QVERIFY(QFile::exists(packagePath()));
        context.reset();
        const auto left = [&] {
            return QDir(m_folder->path())
                .entryList({u"atual.mdb"_s, u"*saida.mdb*"_s}, QDir::Files | QDir::Hidden);
        };
        QTRY_COMPARE(left(), QStringList());
        QTest::qWait(200);
        QVERIFY(!reported);
    }

    // The limits are checked on the converter alone: no package is written.
    void limits_data() {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<int>("allowed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("GIAs") << T::gia05(kIe, "200905") << 32767
                              << u"Linha 32768: o arquivo tem mais de 32.767 GIAs (registros do tipo 05)"_s;
        QTest::newRow("DIPAM records") << T::dipam30("11", "00001", 1) << 9999
                                       << u"Linha 10001: o arquivo tem mais de 9.999 registros do tipo 30"_s;
        QTest::newRow("CFOP records") << T::cfop10("5102  ") << 9999
                                      << u"Linha 10001: o arquivo tem mais de 9.999 registros do tipo 10"_s;
    }

    void limits() {
        QFETCH(QByteArray, record);
        QFETCH(int, allowed);
        QFETCH(QString, expected);
        jet::Database package = NovaGiaLayout::emptyDatabase();
        GiaTextConverter converter(&package);
        QVERIFY(converter.prepare());
        qint64 line = 0;
        if (!record.startsWith("05"))
            QVERIFY(converter.addLine(T::gia05(kIe, "200905"), ++line));
        for (int i = 0; i < allowed; ++i) {
            const Status added = converter.addLine(record, ++line);
            QVERIFY2(added, qPrintable(added.error().description));
        }
        const Status refused = converter.addLine(record, ++line);
        QVERIFY(!refused);
        QVERIFY2(refused.error().description.startsWith(expected), qPrintable(refused.error().description));
    }

    // A template that lacks a table or column the records go to stops the conversion before
    // its first line, naming what is missing.
    void templateLackingATableOrColumn_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("column"); // empty: the whole table is missing
        QTest::addColumn<QString>("expected");
        QTest::newRow("first table") << u"tblContribuinte"_s << QString()
                                     << u"O modelo do pacote não tem a tabela tblContribuinte."_s;
        QTest::newRow("last table") << u"tblRegistroExportação"_s << QString()
                                    << u"O modelo do pacote não tem a tabela tblRegistroExportação."_s;
        QTest::newRow("column") << u"tblDIPAM"_s << u"Município"_s
                                << u"O modelo do pacote não tem a coluna Município da tabela tblDIPAM."_s;
    }
    void templateLackingATableOrColumn() {
        QFETCH(QString, table);
        QFETCH(QString, column);
        QFETCH(QString, expected);
        jet::Database package = NovaGiaLayout::emptyDatabase();
        const auto at = std::find_if(package.tables.begin(), package.tables.end(),
                                     [&](const jet::TableData& t) { return t.table.name == table; });
        QVERIFY(at != package.tables.end());
        if (column.isEmpty())
            package.tables.erase(at);
        else
            QCOMPARE(at->table.columns.removeIf([&](const jet::Column& c) { return c.name == column; }), 1);
        GiaTextConverter converter(&package);
        const Status prepared = converter.prepare();
        QVERIFY(!prepared);
        QCOMPARE(prepared.error().description, expected);
        QVERIFY(!converter.addLine(T::gia05(kIe, "200905"), 1));
    }

    void packageOfEveryRecordTypeReadsWithMdbtools() {
        const QString mdbExport = QStandardPaths::findExecutable(u"mdb-export"_s);
        if (mdbExport.isEmpty())
            QSKIP("mdbtools is not installed");
        QList<QByteArray> lines{T::header01()};
        for (int g = 0; g < 3; ++g) {
            lines += {T::gia05(kIe, "20090" + QByteArray::number(g + 1)),
                      T::cfop10("6102  ", {g}),
                      T::interUf14("RJ", {g}),
                      T::zfm18("000000001", "20090101", g),
                      T::occurrence20("00201", g, u"d'água"_s, u"ocorrência"_s),
                      T::sender25(kIe, 1),
                      T::substitute26(kIe, "000000001", "200901", "200902", 1),
                      T::substituted27(kIe, "1", 1),
                      T::receipt28("1", 1),
                      T::dipam30("11", "00001", 1),
                      T::export31("1")};
        }
        QVERIFY(convert(lines).ok);
        QProcess tables;
        tables.start(QStandardPaths::findExecutable(u"mdb-tables"_s), {u"-1"_s, packagePath()});
        QVERIFY(tables.waitForFinished(10000));
        QCOMPARE(tables.exitCode(), 0);
        const QStringList names =
            QString::fromUtf8(tables.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(names.size(), NovaGiaLayout::tables().size());
        QProcess schema;
        schema.start(QStandardPaths::findExecutable(u"mdb-schema"_s), {packagePath()});
        QVERIFY(schema.waitForFinished(10000));
        QCOMPARE(schema.exitCode(), 0);
        for (const QString& name : names) {
            QProcess exporter;
            exporter.start(mdbExport, {packagePath(), name});
            QVERIFY(exporter.waitForFinished(10000));
            QCOMPARE(exporter.exitCode(), 0);
            const int exported = int(exporter.readAllStandardOutput().count('\n')) - 1;
            const int expected = name == u"tblContribuinte"_s ? 1 : 3;
            QVERIFY2(exported == expected, qPrintable(name + u": "_s + QString::number(exported)));
        }
    }

    // The command-line modes, run as the real program without any display.
    void commandLine() {
        const QString text = textFile({T::gia05(kIe, "200905"), T::gia05(kIe, "200801", "01", "02")});
        const QString out = m_folder->file(u"saida.mdb"_s);
        const auto run = [&](const QStringList& arguments, QByteArray* stdOut, QByteArray* stdErr) {
            return runProgram(QStringList{u"--pasta"_s, m_folder->path()} + arguments, stdOut, stdErr);
        };
        QByteArray stdOut, stdErr;
        QCOMPARE(run({u"--converter"_s, text, out}, &stdOut, &stdErr), 0);
        QVERIFY2(QFile::exists(out), stdErr.constData());

        for (const QString& ie : {kIeShown, QString::fromLatin1(kIe)}) {
            QCOMPARE(run({u"--listar"_s, out, ie}, &stdOut, &stdErr), 0);
            QCOMPARE(stdOut, QByteArray("2\t01/2008\tRPA\tSubstitutiva\n1\t05/2009\tRES\tNormal\n"));
        }
        // A regime stored with a tab and an escape: one line of four fields still.
        m_folder->writeFile(u"controle.prf"_s, T::file({T::gia05(kIe, "200905", "\t\x1b")}));
        const QString odd = m_folder->file(u"controle.mdb"_s);
        QCOMPARE(run({u"--converter"_s, m_folder->file(u"controle.prf"_s), odd}, &stdOut, &stdErr), 0);
        QCOMPARE(run({u"--listar"_s, odd, kIeShown}, &stdOut, &stdErr), 0);
        QCOMPARE(stdOut, QByteArray("1\t05/2009\t\\x09\\x1B\tNormal\n"));

        QCOMPARE(run({u"--listar"_s, out, u"000.000.000.000"_s}, &stdOut, &stdErr), 1);
        QCOMPARE(QString::fromUtf8(stdErr).trimmed(), GiaDatabaseReader::noGiaMessage);
        QCOMPARE(run({u"--listar"_s, text, kIeShown}, &stdOut, &stdErr), 1);
        QCOMPARE(QString::fromUtf8(stdErr).trimmed(), GiaDatabaseReader::invalidFileMessage);

        // A failed conversion leaves the existing output as it was, and no temporary file.
        const auto outputBytes = [&] {
            return m_folder->readFile(u"saida.mdb"_s);
        };
        const QByteArray before = outputBytes();
        m_folder->writeFile(u"ruim.prf"_s, T::file({T::gia05(kIe, "200905"), T::sender25(kIe, 1)}));
        QCOMPARE(run({u"--converter"_s, m_folder->file(u"ruim.prf"_s), out}, &stdOut, &stdErr), 1);
        QVERIFY2(QString::fromUtf8(stdErr).contains(u"Linha 2: registro do tipo 25"_s), stdErr.constData());
        QCOMPARE(run({u"--converter"_s, m_folder->file(u"nao-existe.prf"_s), out}, &stdOut, &stdErr), 1);
        QCOMPARE(outputBytes(), before);
        QCOMPARE(QDir(m_folder->path()).entryList(QDir::Files | QDir::Hidden).filter(u"saida"_s),
                 QStringList{u"saida.mdb"_s});

        QCOMPARE(run({u"--converter"_s, text}, &stdOut, &stdErr), 2);
        QCOMPARE(run({u"--listar"_s}, &stdOut, &stdErr), 2);
    }

    // Help, the version and wrong arguments are answered without a display, before the windows
    // (which would abort here) are loaded; Qt's own options stay known.
    void commandLineWithoutAMode_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("output"); // the start of what it prints
        QTest::addColumn<QByteArray>("errors");
        QTest::newRow("help") << QStringList{u"--help"_s} << 0 << QByteArray("uso: fiscora") << QByteArray();
        QTest::newRow("version") << QStringList{u"--version"_s} << 0
                                 << QByteArray("fiscora " FISCORA_VERSION "\n") << QByteArray();
        QTest::newRow("Qt's options")
            << QStringList{u"-platform"_s, u"offscreen"_s, u"-style=fusion"_s, u"--reverse"_s, u"--version"_s}
            << 0 << QByteArray("fiscora ") << QByteArray();
        QTest::newRow("unknown option")
            << QStringList{u"--pasta"_s, u"/tmp"_s, u"--janelas"_s} << 2 << QByteArray()
            << QByteArray("fiscora: argumento não reconhecido: --janelas\nuso: fiscora");
        QTest::newRow("--reenviar without --transmitir")
            << QStringList{u"--listar"_s, u"a.mdb"_s, u"1"_s, u"--reenviar"_s} << 2 << QByteArray()
            << QByteArray("fiscora: --ie, --certificado, --pgdas e --reenviar só valem com --transmitir\n");
        QTest::newRow("--transmitir with nothing to send")
            << QStringList{u"--transmitir"_s, u"--certificado"_s, u"contador.pfx"_s} << 2 << QByteArray()
            << QByteArray("fiscora: --transmitir pede uma exportação ou pasta de GIAs, ou --pgdas PASTA\n");
    }
    void commandLineWithoutAMode() {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, output);
        QFETCH(QByteArray, errors);
        QByteArray stdOut, stdErr;
        QCOMPARE(runProgram(arguments, &stdOut, &stdErr), exitCode);
        QVERIFY2(output.isEmpty() ? stdOut.isEmpty() : stdOut.startsWith(output), stdOut.constData());
        QVERIFY2(errors.isEmpty() ? stdErr.isEmpty() : stdErr.startsWith(errors), stdErr.constData());
    }
};

QTEST_GUILESS_MAIN(GiaConversionTest)
#include "GiaConversionTest.moc"
