#include "AccessFacts.h"
#include "JetFileChecker.h"
#include "JetTestSupport.h"
#include "MdbTableReader.h"

#include <QTemporaryDir>
#include <QTest>

using namespace jettest;

namespace {

const QStringList SystemTables{QStringLiteral("MSysObjects"), QStringLiteral("MSysACEs"),
                               QStringLiteral("MSysQueries"), QStringLiteral("MSysRelationships"),
                               QStringLiteral("MSysAccessObjects")};

// MSysAccessObjects is named by its definition page, which differs between the files.
qint32 accessObjectsId(const JetFileChecker& c) {
    for (const auto& row : c.catalog()) {
        if (row.name == QStringLiteral("MSysAccessObjects"))
            return row.id;
    }
    return -1;
}

QString describe(const JetFileChecker::CatalogRow& r, qint32 accessObjects) {
    return QStringLiteral("%1 id=%2 parent=%3 type=%4 flags=%5 owner=%6")
        .arg(r.name)
        .arg(r.id == accessObjects ? QStringLiteral("AO") : QString::number(r.id))
        .arg(r.parentId)
        .arg(r.type)
        .arg(r.flags)
        .arg(QString::fromLatin1(r.owner.toHex()));
}

// What the comparisons look at in a file, one fact a line: catalog objects, permissions, the
// property lists Access keeps on the database object and its own objects, the system tables'
// columns, indexes and row counts, the table list.
QStringList catalogFacts(const QString& path) {
    QStringList facts;
    const JetFileChecker checker(path);
    const qint32 accessObjects = accessObjectsId(checker);
    for (const auto& r : checker.catalog())
        facts << QStringLiteral("object ") + describe(r, accessObjects);
    for (const auto& ace : checker.aces()) {
        facts << QStringLiteral("ace %1 %2 %3 %4")
                     .arg(ace.objectId == accessObjects ? QStringLiteral("AO")
                                                        : QString::number(ace.objectId))
                     .arg(QString::fromLatin1(ace.sid.toHex()))
                     .arg(ace.rights)
                     .arg(ace.inheritable);
    }
    // Access's summary (title, author, company) and its window layout are left out on purpose.
    for (const QString& object :
         {QStringLiteral("MSysDb"), QStringLiteral("AccessLayout"), QStringLiteral("UserDefined")}) {
        QByteArray properties("<absent>");
        for (const auto& r : checker.catalog()) {
            if (r.name == object)
                properties = r.properties;
        }
        facts << QStringLiteral("property %1 %2").arg(object, QString::fromLatin1(properties.toHex()));
    }
    const MdbTableReader reader(path);
    for (const QString& name : SystemTables) {
        MdbTableReader::Table t;
        if (!reader.read(name, &t)) {
            facts << QStringLiteral("unreadable %1").arg(name);
            continue;
        }
        for (const auto& c : t.columns)
            facts << QStringLiteral("column %1 %2 %3 %4").arg(name, c.name).arg(c.type).arg(c.size);
        for (const auto& i : t.indexes) {
            QStringList columns;
            for (const int c : i.columns)
                columns << QString::number(c);
            facts << QStringLiteral("index %1 %2 %3 %4 %5")
                         .arg(name, i.name, columns.join(QLatin1Char(',')))
                         .arg(i.flags)
                         .arg(i.type);
        }
        // Access's own objects (the VBA project storage) are not written.
        if (name != QStringLiteral("MSysAccessObjects"))
            facts << QStringLiteral("rows %1 %2").arg(name).arg(t.rows.size());
    }
    facts << QStringLiteral("tables ") + reader.tables(true).join(QLatin1Char(','));
    return facts;
}

} // namespace

// Our empty database against the one Access 2000 itself creates (its facts kept in fixtures).
class CatalogTest final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QStringList m_ours;
    QStringList m_access;

    void compare(const QString& kind) { QCOMPARE(factsOf(m_ours, kind), factsOf(m_access, kind)); }

private Q_SLOTS:
    void initTestCase() {
        const QString fixture = QStringLiteral("empty-access2000.catalog.txt");
        if (!deriveFixturesFrom().isEmpty())
            QVERIFY(writeFacts(fixture,
                               catalogFacts(deriveFixturesFrom() + QStringLiteral("/empty-access2000.mdb"))));
        const QString ours = m_dir.filePath(QStringLiteral("empty.mdb"));
        QVERIFY(writeDatabase(ours, Database{}));
        m_ours = catalogFacts(ours);
        m_access = readFacts(fixture);
        QVERIFY(!factsOf(m_access, QStringLiteral("object")).isEmpty());
        QCOMPARE(MdbTableReader(ours).tables(), QStringList());
    }

    void objects() { compare(QStringLiteral("object")); }
    void permissions() { compare(QStringLiteral("ace")); }
    void properties() { compare(QStringLiteral("property")); }
    void systemTables_data() {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"column", "index", "rows", "unreadable"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }
    void systemTables() {
        QFETCH(QString, kind);
        compare(kind);
    }
    void sameTableList() { compare(QStringLiteral("tables")); }
};

int jettest::runCatalogTest(int argc, char** argv) {
    CatalogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "CatalogTest.moc"
