// Seeded mutation fuzzing of the Access reader (damaged files must end as invalid files, within
// the time limit) and of the GIA text conversion (damaged text must end in a message naming the
// line, or in a consistent package). Bounded in time: FISCORA_FUZZ_SEGUNDOS seconds per target
// (default a few); FISCORA_FUZZ_SEMENTE fixes the seed. Longer runs use the same program.

#include "data/AccessReader.h"
#include "support/ProgramFolderFixture.h"
#include "support/ServerLauncher.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace fiscora;

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

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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

} // namespace

class GiaFuzzTest final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QList<QByteArray> accessSeeds() {
        QList<QByteArray> seeds;
        const QDir samples(QStringLiteral(FISCORA_SHARED_DIR "/access-samples"));
        for (const QString& name : samples.entryList({QStringLiteral("*.mdb")}, QDir::Files, QDir::Name))
            seeds.append(readBytes(samples.filePath(name)));
        const QString built = QDir(test::buildProgramFolder()).filePath(QStringLiteral("gia_limpa.mdb"));
        if (QFile::exists(built))
            seeds.append(readBytes(built));
        seeds.removeAll(QByteArray());
        return seeds;
    }

private Q_SLOTS:
    void initTestCase() {
        AccessReader::setHelperPath(test::builtProgram(QStringLiteral("fiscora-leitor-mdb")));
        QVERIFY(QFile::exists(AccessReader::helperPath()));
    }

    void readerSurvivesDamagedFiles() {
        const QList<QByteArray> seeds = accessSeeds();
        if (seeds.isEmpty())
            QSKIP("no Access seed files: neither ../shared/access-samples nor the built template");
        // Short enough to keep the run brisk; a read of these small files takes milliseconds.
        constexpr int limitMs = 1500;
        AccessReader::setTimeLimitMs(limitMs);
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
            const AccessReader::Result result = AccessReader::readAll(path);
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
        AccessReader::setTimeLimitMs(0);
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
};

QTEST_GUILESS_MAIN(GiaFuzzTest)
#include "GiaFuzzTest.moc"
