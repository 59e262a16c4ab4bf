// Seeded mutation fuzzing of the Access reader (damaged files must end as invalid files, within
// the time limit) and of the GIA text conversion (damaged text must end in a message naming the
// line, or in a consistent package). Bounded in time: FISCORA_FUZZ_SEGUNDOS seconds per target
// (default a few); FISCORA_FUZZ_SEMENTE fixes the seed. Longer runs use the same program.

#include "data/AccessReader.h"
#include "data/AccessValue.h"
#include "data/GiaConversion.h"
#include "data/GiaTextConverter.h"
#include "data/NovaGiaLayout.h"
#include "support/Await.h"
#include "support/GiaTextBuilder.h"
#include "support/ProgramFolderFixture.h"
#include "support/ServerLauncher.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace fiscora;
using fiscora::test::readBytes;

namespace {

int budgetSeconds(int fallback) {
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("FISCORA_FUZZ_SEGUNDOS", &ok);
    return ok && seconds > 0 ? seconds : fallback;
}

quint32 seed() {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue("FISCORA_FUZZ_SEMENTE", &ok);
    return ok ? quint32(value) : 20240607u;
}

// Damage aimed at what a Jet reader trusts: single bytes, bits, little-endian counts and page
// pointers set to edge values, pages cut, repeated or swapped.
QByteArray mutateAccess(QByteArray data, QRandomGenerator& random) {
    constexpr int page = 4096;
    const int edits = 1 + int(random.bounded(6));
    for (int e = 0; e < edits && !data.isEmpty(); ++e) {
        const qsizetype at = qsizetype(random.bounded(quint32(data.size())));
        switch (random.bounded(7)) {
        case 0:
            data[at] = char(random.bounded(256));
            break;
        case 1:
            data[at] = char(data[at] ^ char(1 << random.bounded(8)));
            break;
        case 2: {
            static constexpr quint32 edges[] = {0,    1,      2,       0x7F,       0x80,
                                                0xFF, 0xFFFF, 0x10000, 0x7FFFFFFF, 0xFFFFFFFF};
            const quint32 value = edges[random.bounded(quint32(std::size(edges)))];
            const int width = random.bounded(2) ? 2 : 4;
            for (int i = 0; i < width && at + i < data.size(); ++i)
                data[at + i] = char((value >> (8 * i)) & 0xFF);
            break;
        }
        case 3: {
            // A pointer to another page of the file (3-byte page, 1-byte row).
            const quint32 pages = quint32(qMax<qsizetype>(1, data.size() / page));
            const quint32 value = (random.bounded(pages) << 8) | random.bounded(4);
            for (int i = 0; i < 4 && at + i < data.size(); ++i)
                data[at + i] = char((value >> (8 * i)) & 0xFF);
            break;
        }
        case 4:
            if (data.size() > page)
                data.truncate(qsizetype(random.bounded(quint32(data.size() / page))) * page +
                              random.bounded(2) * 17);
            break;
        case 5:
            if (data.size() >= 2 * page) {
                const qsizetype from = qsizetype(random.bounded(quint32(data.size() / page))) * page;
                const qsizetype to = qsizetype(random.bounded(quint32(data.size() / page))) * page;
                data.replace(to, page, data.mid(from, page));
            }
            break;
        default:
            // The row offset table of a page: the place libmdb trusts most.
            if (data.size() >= page) {
                const qsizetype pageStart = (at / page) * page;
                const qsizetype slot = pageStart + 12 + 2 * qsizetype(random.bounded(8));
                if (slot + 1 < data.size()) {
                    const quint16 value = quint16(random.bounded(0x10000));
                    data[slot] = char(value & 0xFF);
                    data[slot + 1] = char(value >> 8);
                }
            }
            break;
        }
    }
    return data;
}

using T = fiscora::test::GiaTextBuilder;

// A text file with every record type, nested as NovaGIA writes them.
QList<QByteArray> giaSeed() {
    QList<QByteArray> lines{T::header01()};
    for (int g = 0; g < 3; ++g) {
        const QByteArray ie = T::digits(123456789000 + g, 12);
        lines += {T::gia05(ie, "20090" + QByteArray::number(g + 1), "0" + QByteArray::number(g + 1)),
                  T::other07(),
                  T::cfop10("5102  ", {1, 2, 3, 4, 5, 6, 7, 8, 9}),
                  T::cfop10("6102  ", {g}),
                  T::interUf14("RJ", {10, 20}),
                  T::zfm18("000000001", "20090514", 99),
                  T::interUf14("AM", {}),
                  T::zfm18("000000002", "20090515", 98),
                  T::occurrence20("00201", 5, QStringLiteral("Art. 1º d'água"), QStringLiteral("ocorrência")),
                  T::sender25(ie, 1),
                  T::substitute26(ie, "000000003", "200901", "200912", 2),
                  T::substituted27(ie, "000000004", 3),
                  T::receipt28("ABCDEF123456", 4),
                  T::dipam30("22", "35503", 500),
                  T::export31("123456789012345")};
    }
    return lines;
}

void mutateText(QList<QByteArray>& lines, QRandomGenerator& random) {
    static const QByteArray alphabet = QByteArrayLiteral("0123456789 '\"\t\r\x80\x9f\xe1\xff\x00ZA-.");
    const int edits = 1 + int(random.bounded(4));
    for (int e = 0; e < edits && !lines.isEmpty(); ++e) {
        const int at = int(random.bounded(quint32(lines.size())));
        QByteArray& line = lines[at];
        switch (random.bounded(8)) {
        case 0:
            if (!line.isEmpty())
                line[random.bounded(int(line.size()))] = alphabet.at(random.bounded(int(alphabet.size())));
            break;
        case 1:
            line.truncate(random.bounded(int(line.size()) + 1));
            break;
        case 2:
            lines.removeAt(at);
            break;
        case 3:
            lines.insert(at, lines.at(random.bounded(int(lines.size()))));
            break;
        case 4:
            lines.swapItemsAt(at, random.bounded(int(lines.size())));
            break;
        case 5: {
            static const char* types[] = {"05", "10", "14", "18", "20", "25",
                                          "26", "27", "28", "30", "31", "99"};
            if (line.size() >= 2)
                line.replace(0, 2, types[random.bounded(int(std::size(types)))]);
            break;
        }
        case 6:
            if (at + 1 < lines.size())
                line += lines.takeAt(at + 1);
            break;
        default:
            line.insert(random.bounded(int(line.size()) + 1), QByteArray(1 + random.bounded(40), '0'));
            break;
        }
    }
}

QString describe(const jet::Row& row) {
    QStringList cells;
    for (const jet::Value& value : row)
        cells.append(QStringLiteral("%1:[%2]").arg(value.index()).arg(AccessValue::toText(value)));
    return cells.join(QLatin1Char(' '));
}

// What a converted package must hold whatever the text was.
void checkPackage(const jet::Database& package, int gias) {
    for (const jet::TableData& table : package.tables) {
        for (const jet::Row& row : table.rows) {
            QCOMPARE(row.size(), table.table.columns.size());
            for (qsizetype c = 0; c < row.size(); ++c) {
                const jet::Value& value = row.at(c);
                if (std::holds_alternative<std::monostate>(value))
                    continue;
                switch (table.table.columns.at(c).type) {
                case jet::ColumnType::Currency:
                    QVERIFY(std::holds_alternative<jet::Currency>(value));
                    break;
                case jet::ColumnType::Long:
                    QVERIFY(std::holds_alternative<qint64>(value));
                    break;
                case jet::ColumnType::DateTime:
                    QVERIFY(AccessValue::toDate(value).isValid());
                    break;
                case jet::ColumnType::Text:
                    QVERIFY(std::get<QString>(value).size() <= table.table.columns.at(c).size);
                    break;
                default:
                    QVERIFY(std::holds_alternative<QString>(value));
                    break;
                }
            }
            for (qsizetype c = 0; c < row.size(); ++c) {
                if (table.table.columns.at(c).name != QLatin1String("NroGIA"))
                    continue;
                const auto n = AccessValue::toInteger(row.at(c));
                QVERIFY(n && *n >= 1 && *n <= gias);
            }
        }
    }
}

} // namespace

class GiaFuzzTest final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QList<QByteArray> accessSeeds() {
        QList<QByteArray> seeds;
        const QString built = QDir(test::buildProgramFolder()).filePath(QStringLiteral("gia_limpa.mdb"));
        if (QFile::exists(built)) {
            seeds.append(readBytes(built));
            // A package with rows of every table, memos on long-value pages among them.
            QList<QByteArray> lines = giaSeed();
            lines.append(T::occurrence20("00202", 7, QStringLiteral("x"), QString(300, QLatin1Char('y'))));
            const QString text = m_dir.filePath(QStringLiteral("seed.prf"));
            const QString package = m_dir.filePath(QStringLiteral("seed.mdb"));
            QFile file(text);
            if (file.open(QIODevice::WriteOnly) && file.write(T::file(lines)) > 0) {
                file.close();
                if (test::convertGia(text, package, built).ok)
                    seeds.append(readBytes(package));
            }
        }
        seeds.removeAll(QByteArray());
        return seeds;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(QFile::exists(test::builtReader().helperPath())); }

    void readerSurvivesDamagedFiles() {
        const QList<QByteArray> seeds = accessSeeds();
        QVERIFY2(!seeds.isEmpty(), "the package template gia_limpa.mdb is not built");
        qInfo() << "reader fuzz seeds:" << seeds.size();
        // Short enough to keep the run brisk; a read of these small files takes milliseconds.
        constexpr int limitMs = 1500;
        const AccessReader reader = test::builtReader(limitMs);
        QRandomGenerator random(seed());
        const qint64 budget = qint64(budgetSeconds(8)) * 1000;
        const QString path = m_dir.filePath(QStringLiteral("fuzz.mdb"));
        QHash<AccessReader::Cause, int> causes;
        int runs = 0;
        qint64 slowest = 0;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < budget) {
            const QByteArray input = mutateAccess(seeds.at(random.bounded(int(seeds.size()))), random);
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(input);
            file.close();
            QElapsedTimer one;
            one.start();
            const AccessReader::Reading result = test::readAccess(path, {QStringLiteral("*")}, reader);
            slowest = qMax(slowest, one.elapsed());
            ++runs;
            ++causes[result.cause];
            if (result.status == AccessReader::Status::Unavailable || one.elapsed() > limitMs + 5000) {
                const QString kept = QDir::temp().filePath(QStringLiteral("fiscora-fuzz-falha.mdb"));
                QFile::remove(kept);
                QFile::copy(path, kept);
                QFAIL(qPrintable(QStringLiteral("read %1 ended badly (%2), input kept in %3")
                                     .arg(runs)
                                     .arg(result.detail, kept)));
            }
            if (result.ok()) {
                for (const AccessTable& table : result.database.tables) {
                    for (const jet::Row& row : table.rows)
                        QCOMPARE(row.size(), table.definition.columns.size());
                }
            }
        }
        qInfo().noquote() << QStringLiteral(
                                 "reader fuzz: %1 files in %2 s; read %3, refused %4, malformed %5, "
                                 "crashed %6, timed out %7; slowest %8 ms")
                                 .arg(runs)
                                 .arg(clock.elapsed() / 1000.0, 0, 'f', 1)
                                 .arg(causes.value(AccessReader::Cause::None))
                                 .arg(causes.value(AccessReader::Cause::Refused))
                                 .arg(causes.value(AccessReader::Cause::Malformed))
                                 .arg(causes.value(AccessReader::Cause::Crashed))
                                 .arg(causes.value(AccessReader::Cause::TimedOut))
                                 .arg(slowest);
        QVERIFY(runs > 0);
        // The helper's stream and its decoder agree on every file libmdb gets through.
        QCOMPARE(causes.value(AccessReader::Cause::Malformed), 0);
    }

    void conversionSurvivesDamagedText() {
        const QList<QByteArray> original = giaSeed();
        QRandomGenerator random(seed());
        const qint64 budget = qint64(budgetSeconds(5)) * 1000;
        int runs = 0, converted = 0, refused = 0, written = 0;
        QElapsedTimer clock;
        clock.start();
        test::ProgramFolderFixture folder;
        const bool canWrite = QFile::exists(folder.file(QStringLiteral("gia_limpa.mdb")));
        while (clock.elapsed() < budget) {
            QList<QByteArray> lines = original;
            mutateText(lines, random);
            jet::Database package = NovaGiaLayout::emptyDatabase();
            GiaTextConverter converter(&package);
            QVERIFY(converter.prepare());
            bool ok = true;
            for (qsizetype i = 0; i < lines.size() && ok; ++i) {
                const Status added = converter.addLine(lines.at(i), i + 1);
                ok = added.ok();
                if (!ok) {
                    const QString& error = added.error().description;
                    const QString prefix = QStringLiteral("Linha %1: ").arg(i + 1);
                    QVERIFY2(error.startsWith(prefix) && error.size() > prefix.size() + 10,
                             qPrintable(error));
                }
            }
            ++runs;
            if (!ok) {
                ++refused;
                continue;
            }
            ++converted;
            checkPackage(package, converter.giaCount());
            if (QTest::currentTestFailed())
                return;
            const jet::TableData& gias = package.tables.at(1);
            QCOMPARE(gias.rows.size(), converter.giaCount());
            // Now and then the whole way: package written, read back, same rows.
            if (canWrite && converted % 40 == 1) {
                folder.writeFile(QStringLiteral("fuzz.prf"), T::file(lines));
                const auto result = test::convertGia(folder.file(QStringLiteral("fuzz.prf")),
                                                     folder.file(QStringLiteral("atual.mdb")),
                                                     folder.file(QStringLiteral("gia_limpa.mdb")));
                QVERIFY2(result.ok, qPrintable(result.message));
                const AccessReader::Reading read = test::readAccess(folder.file(QStringLiteral("atual.mdb")));
                QVERIFY2(read.ok(), qPrintable(read.detail));
                for (const jet::TableData& table : package.tables) {
                    const AccessTable* back = read.database.table(table.table.name);
                    QVERIFY(back);
                    QCOMPARE(back->rows.size(), table.rows.size());
                    for (qsizetype r = 0; r < table.rows.size(); ++r) {
                        QVERIFY2(back->rows.at(r) == table.rows.at(r),
                                 qPrintable(table.table.name + QStringLiteral(" row %1: ").arg(r) +
                                            describe(back->rows.at(r)) + QStringLiteral(" <> ") +
                                            describe(table.rows.at(r))));
                    }
                }
                ++written;
            }
        }
        qInfo().noquote() << QStringLiteral(
                                 "conversion fuzz: %1 texts in %2 s; converted %3 (%4 written and read "
                                 "back), refused with the line named %5")
                                 .arg(runs)
                                 .arg(clock.elapsed() / 1000.0, 0, 'f', 1)
                                 .arg(converted)
                                 .arg(written)
                                 .arg(refused);
        QVERIFY(converted > 0 && refused > 0);
    }
};

QTEST_GUILESS_MAIN(GiaFuzzTest)
#include "GiaFuzzTest.moc"
