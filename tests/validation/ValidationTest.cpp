#include "validation/Documents.h"

#include <QRandomGenerator>
#include <QTest>

using namespace fiscora;

namespace {

void twoColumns() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");
}

void cnpjRow(const char* name, const char* text, bool expected) {
    QTest::newRow(name) << QString::fromUtf8(text) << expected;
}

void cpfRow(const char* name, const char* text, bool expected) {
    QTest::newRow(name) << QString::fromUtf8(text) << expected;
}

void row(const char* name, const char* uf, const char* ie, bool expected) {
    QTest::newRow(name) << QString::fromLatin1(uf) << QString::fromUtf8(ie) << expected;
}

// The numeric-only check as it stood before letters counted: ASCII digits only, every other
// character dropped, positions past the end 0.
bool numericCnpjValida(const QString& text) {
    QList<int> d;
    for (const QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            d.append(c.unicode() - u'0');
    }
    const auto at = [&d](int k) {
        return k <= d.size() ? d.at(k - 1) : 0;
    };
    const auto checkDigit = [&at](int count, const int* weights) {
        int sum = 0;
        for (int k = 1; k <= count; ++k)
            sum += at(k) * weights[k - 1];
        const int digit = 11 - sum % 11;
        return digit >= 10 ? 0 : digit;
    };
    static const int first[] = {5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
    static const int second[] = {6, 5, 4, 3, 2, 9, 8, 7, 6, 5, 4, 3, 2};
    if (checkDigit(12, first) != at(13))
        return false;
    return checkDigit(13, second) == at(14);
}

// Alphanumeric CNPJs whose check digits were worked out apart from this code.
const char* const kAlphanumericCnpjs[] = {"12ABC34501DE35", "K9P34Y6N3WD268", "5RQ4F5ZR37E361",
                                          "P3E2Z8IQ9Y7J64", "ZB6CN6Z43DVY04"};

} // namespace

// Check digits in the generated rows were worked out apart from this code (a separate script
// written from the published rules); the named rows are the rules' own worked values.
class ValidationTest final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cnpj_data() {
        twoColumns();
        cnpjRow("worked value", "11.222.333/0001-81", true);
        cnpjRow("bare digits", "11222333000181", true);
        cnpjRow("blanks", "11 222 333 0001 81", true);
        cnpjRow("last digit off", "11.222.333/0001-82", false);
        cnpjRow("letters dropped", "11.222.333/0001-81X", true);
        cnpjRow("zeros", "00.000.000/0000-00", true);
        cnpjRow("ones", "11.111.111/1111-11", false);
        cnpjRow("empty", "", true);
        cnpjRow("empty mask", "__.___.___/____-__", true);
        cnpjRow("digits past the 14th ignored", "11.222.333/0001-819", true);
        cnpjRow("non-ASCII digits do not count", "\u0661\u0661.222.333/0001-81", false);
        cnpjRow("CNPJ 82085519739880 random", "82085519739880", true);
        cnpjRow("CNPJ 82085519739881 second digit off", "82085519739881", false);
        cnpjRow("CNPJ 82085519739890 first digit off", "82085519739890", false);
        cnpjRow("CNPJ 89949796510844 random", "89949796510844", true);
        cnpjRow("CNPJ 89949796510845 second digit off", "89949796510845", false);
        cnpjRow("CNPJ 89949796510854 first digit off", "89949796510854", false);
        cnpjRow("CNPJ 37251175920280 random", "37251175920280", true);
        cnpjRow("CNPJ 37251175920281 second digit off", "37251175920281", false);
        cnpjRow("CNPJ 37251175920290 first digit off", "37251175920290", false);
    }

    void cnpj() {
        QFETCH(QString, text);
        QFETCH(bool, expected);
        const QString before = text;
        QCOMPARE(CNPJValida(text), expected);
        QCOMPARE(text, before);
    }

    void alphanumericCnpj_data() {
        twoColumns();
        cnpjRow("published example", "12.ABC.345/01DE-35", true);
        cnpjRow("bare", "12ABC34501DE35", true);
        cnpjRow("lower case taken as upper", "12.abc.345/01de-35", true);
        cnpjRow("mask blanks after the end", "12.ABC.345/01DE-35__", true);
        cnpjRow("letter in a check position", "12.ABC.345/01DE-3A", false);
        cnpjRow("non-ASCII letter dropped", "12.ABC.345/01DÉE-35", true);
        for (const char* valid : kAlphanumericCnpjs) {
            const QString text = QString::fromLatin1(valid);
            QTest::newRow(valid) << text << true;
            // Each position moved to a neighbouring character (never a multiple of 11 away,
            // which the modulus cannot see): always refused.
            for (qsizetype i = 0; i < text.size(); ++i) {
                QString changed = text;
                const QChar c = text.at(i);
                if (c == QLatin1Char('Z'))
                    changed[i] = QLatin1Char('A');
                else if (c == QLatin1Char('9'))
                    changed[i] = QLatin1Char('0');
                else
                    changed[i] = QChar(c.unicode() + 1);
                QTest::addRow("%s changed at %lld", valid, static_cast<long long>(i + 1)) << changed << false;
            }
        }
    }

    void alphanumericCnpj() {
        QFETCH(QString, text);
        QFETCH(bool, expected);
        QCOMPARE(CNPJValida(text), expected);
    }

    // Any text without ASCII letters is judged exactly as before letters counted.
    void numericCnpjUnchanged() {
        const QString noise = QStringLiteral("./- _\t\u0661\u00e9\u00d7#");
        const QString alphabet = QStringLiteral("0123456789") + noise;
        QRandomGenerator random(20260701);
        int valid = 0;
        for (int n = 0; n < 100000; ++n) {
            QString text;
            if (n % 2 == 0) {
                for (int i = 0, length = random.bounded(0, 25); i < length; ++i)
                    text.append(alphabet.at(random.bounded(alphabet.size())));
            } else {
                // A valid number with noise around its digits, so that true is as well covered
                // as false; its check digits are found by trying all hundred.
                QString base;
                for (int i = 0; i < 12; ++i)
                    base.append(QChar(u'0' + random.bounded(10)));
                for (int c = 0; c < 100 && !numericCnpjValida(text); ++c)
                    text = base + QChar(u'0' + c / 10) + QChar(u'0' + c % 10);
                for (qsizetype i = text.size(); i >= 0; --i) {
                    if (random.bounded(3) == 0)
                        text.insert(i, noise.at(random.bounded(noise.size())));
                }
            }
            const bool before = numericCnpjValida(text);
            valid += before ? 1 : 0;
            QVERIFY2(CNPJValida(text) == before, qPrintable(text));
        }
        QVERIFY(valid > 40000);
    }

    void cnpjHelpers_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("complete");
        QTest::addColumn<bool>("bare");
        QTest::addColumn<QString>("document");
        QTest::newRow("lower case") << "12.abc.345/01de-35" << true << false << "12ABC34501DE35";
        QTest::newRow("one position blank") << "12.ABC.345/01DE-3_" << false << false << "12ABC34501DE3_";
        QTest::newRow("non-ASCII letter") << "12.ÉBC.345/01DE-35" << false << false << "12ÉBC34501DE35";
        QTest::newRow("bare alphanumeric") << "12ABC34501DE35" << true << true << "12ABC34501DE35";
        QTest::newRow("bare, letter in a check position")
            << "12ABC34501DE3A" << true << false << "12ABC34501DE3A";
        QTest::newRow("bare, letter in the first check position")
            << "12ABC34501DEA5" << true << false << "12ABC34501DEA5";
        QTest::newRow("bare, lower case") << "12abc34501de35" << true << false << "12ABC34501DE35";
    }

    void cnpjHelpers() {
        QFETCH(QString, text);
        QFETCH(bool, complete);
        QFETCH(bool, bare);
        QFETCH(QString, document);
        QCOMPARE(cnpjComplete(text), complete);
        QCOMPARE(isBareCnpj(text), bare);
        QCOMPARE(documentDigits(text), document);
    }

    void cpf_data() {
        twoColumns();
        cpfRow("worked value", "111.444.777-35", true);
        cpfRow("bare digits", "11144477735", true);
        cpfRow("last digit off", "111.444.777-36", false);
        cpfRow("zeros", "000.000.000-00", true);
        cpfRow("ones", "111.111.111-11", true);
        cpfRow("twos", "222.222.222-22", true);
        cpfRow("empty", "", true);
        cpfRow("empty mask", "___.___.___-__", true);
        cpfRow("a CNPJ judged as a CPF", "11.222.333/0001-81", false);
        cpfRow("CPF 02532312050 random", "02532312050", true);
        cpfRow("CPF 02532312051 second digit off", "02532312051", false);
        cpfRow("CPF 02532312060 first digit off", "02532312060", false);
        cpfRow("CPF 64304565443 random", "64304565443", true);
        cpfRow("CPF 64304565444 second digit off", "64304565444", false);
        cpfRow("CPF 64304565453 first digit off", "64304565453", false);
        cpfRow("CPF 72640905406 random", "72640905406", true);
        cpfRow("CPF 72640905407 second digit off", "72640905407", false);
        cpfRow("CPF 72640905416 first digit off", "72640905416", false);
    }

    void cpf() {
        QFETCH(QString, text);
        QFETCH(bool, expected);
        QCOMPARE(CPFValida(text), expected);
    }

    void ie_data() {
        QTest::addColumn<QString>("uf");
        QTest::addColumn<QString>("ie");
        QTest::addColumn<bool>("expected");

        row("SP worked value", "SP", "110.042.490.114", true);
        row("SP last digit 5", "SP", "110.042.490.115", false);
        row("SP ninth digit changed", "SP", "110.042.491.114", false);
        row("SP producer worked value", "SP", "P-01100424.3/002", true);
        row("SP producer: digits after d9 not examined", "SP", "P-01100424.3/999", true);
        row("SP small p takes the two-digit rule", "SP", "p-01100424.3/002", false);
        row("SP producer P only as first character", "SP", "-P01100424.3/002", false);
        row("SP no digits", "SP", "___.___.___.___", true);
        row("SP zeros", "SP", "000.000.000.000", true);
        row("lower-case code", "sp", "110.042.490.115", true);
        row("unknown code", "XX", "123", true);
        row("empty code", "", "123", true);
        row("MG worked value", "MG", "062.307.904/0081", true);
        row("MG worked value, second digit off", "MG", "062.307.904/0082", false);
        row("AP not beginning with 03", "AP", "040000000", true);
        row("AP 03 with nothing else", "AP", "03", false);
        row("RN worked as 9 digits", "RN", "20.040.040-1", true);
        row("RN 11 digits take the 9-digit rule", "RN", "20040040155", true);
        row("RN 10 digits take the 10-digit rule", "RN", "2004004015", false);
        row("SP valid 1 (two digits)", "SP", "312.642.690.325", true);
        row("SP invalid 2 (second off)", "SP", "312.642.690.326", false);
        row("SP invalid 3 (first off)", "SP", "312.642.691.325", false);
        row("SP valid 4 (two digits)", "SP", "975.526.790.870", true);
        row("SP invalid 5 (second off)", "SP", "975.526.790.871", false);
        row("SP invalid 6 (first off)", "SP", "975.526.791.870", false);
        row("SP valid 7 (two digits)", "SP", "799.408.927.224", true);
        row("SP invalid 8 (second off)", "SP", "799.408.927.225", false);
        row("SP invalid 9 (first off)", "SP", "799.408.928.224", false);
        row("SP valid 10 (producer)", "SP", "P310165079503", true);
        row("SP invalid 11 (producer off)", "SP", "P310165070503", false);
        row("AC valid 1", "AC", "1845162122540", true);
        row("AC invalid 2 (second off)", "AC", "1845162122541", false);
        row("AC invalid 3 (first off)", "AC", "1845162122550", false);
        row("AC valid 4", "AC", "6807235918297", true);
        row("AC invalid 5 (second off)", "AC", "6807235918298", false);
        row("AC invalid 6 (first off)", "AC", "6807235918207", false);
        row("DF valid 1", "DF", "4079743827127", true);
        row("DF invalid 2 (second off)", "DF", "4079743827128", false);
        row("DF invalid 3 (first off)", "DF", "4079743827137", false);
        row("DF valid 4", "DF", "3921884103001", true);
        row("DF invalid 5 (second off)", "DF", "3921884103002", false);
        row("DF invalid 6 (first off)", "DF", "3921884103011", false);
        row("AL valid 1", "AL", "551325798", true);
        row("AL invalid 2", "AL", "551325799", false);
        row("AL valid 3", "AL", "024955868", true);
        row("AL invalid 4", "AL", "024955869", false);
        row("AL valid 5", "AL", "325777985", true);
        row("AL invalid 6", "AL", "325777986", false);
        row("AP valid 1 (p=5)", "AP", "030010107", true);
        row("AP invalid 2 (p=5)", "AP", "030010108", false);
        row("AP valid 3 (p=5 eleven gives d)", "AP", "030054600", true);
        row("AP invalid 4 (p=5 eleven off)", "AP", "030054601", false);
        row("AP valid 5 (p=9)", "AP", "030175676", true);
        row("AP invalid 6 (p=9)", "AP", "030175677", false);
        row("AP valid 7 (p=9 eleven gives d)", "AP", "030184471", true);
        row("AP invalid 8 (p=9 eleven off)", "AP", "030184472", false);
        row("AP valid 9 (p=0)", "AP", "034962220", true);
        row("AP invalid 10 (p=0)", "AP", "034962221", false);
        row("AP valid 11 (p=0 eleven gives d)", "AP", "032777620", true);
        row("AP invalid 12 (p=0 eleven off)", "AP", "032777621", false);
        row("AP valid 13 (p=9 ten gives 0)", "AP", "030189090", true);
        row("AM valid 1", "AM", "650962486", true);
        row("AM invalid 2", "AM", "650962487", false);
        row("AM valid 3", "AM", "244151229", true);
        row("AM invalid 4", "AM", "244151220", false);
        row("AM valid 5", "AM", "980867096", true);
        row("AM invalid 6", "AM", "980867097", false);
        row("AM valid 7 (S=2 -> 9)", "AM", "000000019", true);
        row("AM invalid 8 (S=0 -> 11 never)", "AM", "000000000", false);
        row("BA valid 1 (m=10)", "BA", "80938435", true);
        row("BA invalid 2 (m=10 second off)", "BA", "80938445", false);
        row("BA invalid 3 (m=10 first off)", "BA", "80938436", false);
        row("BA valid 4 (m=10)", "BA", "12970038", true);
        row("BA invalid 5 (m=10 second off)", "BA", "12970048", false);
        row("BA invalid 6 (m=10 first off)", "BA", "12970039", false);
        row("BA valid 7 (m=10)", "BA", "00657813", true);
        row("BA invalid 8 (m=10 second off)", "BA", "00657823", false);
        row("BA invalid 9 (m=10 first off)", "BA", "00657814", false);
        row("BA valid 10 (m=11)", "BA", "92109869", true);
        row("BA invalid 11 (m=11 second off)", "BA", "92109879", false);
        row("BA invalid 12 (m=11 first off)", "BA", "92109860", false);
        row("BA valid 13 (m=11)", "BA", "14081199", true);
        row("BA invalid 14 (m=11 second off)", "BA", "14081109", false);
        row("BA invalid 15 (m=11 first off)", "BA", "14081190", false);
        row("BA valid 16 (m=11)", "BA", "00167919", true);
        row("BA invalid 17 (m=11 second off)", "BA", "00167929", false);
        row("BA invalid 18 (m=11 first off)", "BA", "00167910", false);
        row("CE valid 1", "CE", "979784263", true);
        row("CE invalid 2", "CE", "979784264", false);
        row("ES valid 1", "ES", "803510110", true);
        row("ES invalid 2", "ES", "803510111", false);
        row("MA valid 1", "MA", "193759241", true);
        row("MA invalid 2", "MA", "193759242", false);
        row("MS valid 1", "MS", "885638662", true);
        row("MS invalid 2", "MS", "885638663", false);
        row("PA valid 1", "PA", "865509786", true);
        row("PA invalid 2", "PA", "865509787", false);
        row("PB valid 1", "PB", "910613281", true);
        row("PB invalid 2", "PB", "910613282", false);
        row("PI valid 1", "PI", "370349490", true);
        row("PI invalid 2", "PI", "370349491", false);
        row("SC valid 1", "SC", "179939475", true);
        row("SC invalid 2", "SC", "179939476", false);
        row("SE valid 1", "SE", "762428627", true);
        row("SE invalid 2", "SE", "762428628", false);
        row("GO valid 1 (r>=2)", "GO", "653749503", true);
        row("GO invalid 2 (r>=2 off)", "GO", "653749504", false);
        row("GO valid 3 (r>=2)", "GO", "873080084", true);
        row("GO invalid 4 (r>=2 off)", "GO", "873080085", false);
        row("GO valid 5 (r=0 any)", "GO", "448189107", true);
        row("GO valid 6 (r=0 any)", "GO", "448189103", true);
        row("GO valid 7 (r=1 special range)", "GO", "101187674", true);
        row("GO invalid 8 (r=1 outside)", "GO", "271163020", false);
        row("GO invalid 9 (r=1 outside)", "GO", "271163021", false);
        row("MT valid 1", "MT", "68314796400", true);
        row("MT invalid 2", "MT", "68314796401", false);
        row("MT valid 3", "MT", "71737247567", true);
        row("MT invalid 4", "MT", "71737247568", false);
        row("MG valid 1", "MG", "1194065799851", true);
        row("MG invalid 2 (second off)", "MG", "1194065799852", false);
        row("MG invalid 3 (first off)", "MG", "1194065799861", false);
        row("MG valid 4", "MG", "3234890941779", true);
        row("MG invalid 5 (second off)", "MG", "3234890941770", false);
        row("MG invalid 6 (first off)", "MG", "3234890941789", false);
        row("MG valid 7 (T multiple of 10)", "MG", "6185658353809", true);
        row("PR valid 1", "PR", "5854477813", true);
        row("PR invalid 2 (second off)", "PR", "5854477814", false);
        row("PR invalid 3 (first off)", "PR", "5854477823", false);
        row("PR valid 4", "PR", "3120398503", true);
        row("PR invalid 5 (second off)", "PR", "3120398504", false);
        row("PR invalid 6 (first off)", "PR", "3120398513", false);
        row("PE valid 1 (14 digits)", "PE", "33815879864319", true);
        row("PE invalid 2 (14 off)", "PE", "33815879864310", false);
        row("PE valid 3 (9 digits)", "PE", "100216803", true);
        row("PE invalid 4 (9 second off)", "PE", "100216804", false);
        row("PE invalid 5 (9 first off)", "PE", "100216813", false);
        row("PE valid 6 (14 digits)", "PE", "98854940298754", true);
        row("PE invalid 7 (14 off)", "PE", "98854940298755", false);
        row("PE valid 8 (9 digits)", "PE", "773598103", true);
        row("PE invalid 9 (9 second off)", "PE", "773598104", false);
        row("PE invalid 10 (9 first off)", "PE", "773598113", false);
        row("RJ valid 1", "RJ", "26775205", true);
        row("RJ invalid 2", "RJ", "26775206", false);
        row("RJ valid 3", "RJ", "83932465", true);
        row("RJ invalid 4", "RJ", "83932466", false);
        row("RN valid 1 (10 digits)", "RN", "1697619134", true);
        row("RN invalid 2 (10 off)", "RN", "1697619135", false);
        row("RN valid 3 (9 digits)", "RN", "157351815", true);
        row("RN invalid 4 (9 off)", "RN", "157351816", false);
        row("RN valid 5 (10 digits)", "RN", "0021925763", true);
        row("RN invalid 6 (10 off)", "RN", "0021925764", false);
        row("RN valid 7 (9 digits)", "RN", "572346239", true);
        row("RN invalid 8 (9 off)", "RN", "572346230", false);
        row("RS valid 1", "RS", "7617855339", true);
        row("RS invalid 2", "RS", "7617855330", false);
        row("RS valid 3", "RS", "0347196195", true);
        row("RS invalid 4", "RS", "0347196196", false);
        row("RO valid 1 (6 digits)", "RO", "409561", true);
        row("RO invalid 2 (6 off)", "RO", "409562", false);
        row("RO valid 3 (6 digits)", "RO", "330566", true);
        row("RO invalid 4 (6 off)", "RO", "330567", false);
        row("RR valid 1", "RR", "552008274", true);
        row("RR invalid 2", "RR", "552008275", false);
        row("RR valid 3", "RR", "164671063", true);
        row("RR invalid 4", "RR", "164671064", false);
        row("TO valid 1", "TO", "52283671997", true);
        row("TO invalid 2", "TO", "52283671998", false);
        row("TO valid 3 (d3 d4 skipped)", "TO", "52393671997", true);
        row("TO valid 4", "TO", "11939847876", true);
        row("TO invalid 5", "TO", "11939847877", false);
        row("TO valid 6 (d3 d4 skipped)", "TO", "11049847876", true);
        row("AP valid 14 (boundary 3000000)", "AP", "030000009", true);
        row("AP invalid 15 (boundary 3000000 off)", "AP", "030000000", false);
        row("AP valid 16 (boundary 3000001)", "AP", "030000012", true);
        row("AP invalid 17 (boundary 3000001 off)", "AP", "030000013", false);
        row("AP valid 18 (boundary 3017000)", "AP", "030170007", true);
        row("AP invalid 19 (boundary 3017000 off)", "AP", "030170008", false);
        row("AP valid 20 (boundary 3017001)", "AP", "030170011", true);
        row("AP invalid 21 (boundary 3017001 off)", "AP", "030170012", false);
        row("AP valid 22 (boundary 3019022)", "AP", "030190225", true);
        row("AP invalid 23 (boundary 3019022 off)", "AP", "030190226", false);
        row("AP valid 24 (boundary 3019023)", "AP", "030190231", true);
        row("AP invalid 25 (boundary 3019023 off)", "AP", "030190232", false);
        row("GO valid 10 (r=1 accepted 10103105)", "GO", "101031055", true);
        row("GO valid 11 (r=1 accepted 10119997)", "GO", "101199975", true);
        row("GO valid 12 (r=1 accepted 11094402)", "GO", "110944025", true);
        row("GO invalid 13 (r=1 below range)", "GO", "101030860", false);
        row("GO invalid 14 (r=1 above range)", "GO", "101200030", false);
        row("BA invalid 19 (m=10 second digit 10)", "BA", "43904703", false);
        row("BA invalid 20 (m=11 second digit 11)", "BA", "08244906", false);
        row("RO valid 5 (recut)", "RO", "101.62521-3", true);
        row("RO invalid 6 (recut off)", "RO", "101.62521-4", false);
        row("RO valid 7 (recut)", "RO", "99.13546-1", true);
        row("RO valid 8 (L-7 below 1)", "RO", "1354610", true);
        row("RO invalid 9 (L-7 below 1)", "RO", "1625213", false);
    }

    void ie() {
        QFETCH(QString, uf);
        QFETCH(QString, ie);
        QFETCH(bool, expected);
        QCOMPARE(IEValida(ie, uf), expected);
    }
};

QTEST_GUILESS_MAIN(ValidationTest)
#include "ValidationTest.moc"
