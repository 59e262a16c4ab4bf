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

} // namespace

// Our empty database against the one Access 2000 itself creates.
class CatalogTest final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_ours;
    QString m_access;

private Q_SLOTS:
    void initTestCase() {
        const QString samples = accessSamples();
        if (samples.isEmpty())
            QSKIP("the Access sample files (../shared/access-samples) are not available");
        m_access = samples + QStringLiteral("/empty-access2000.mdb");
        m_ours = m_dir.filePath(QStringLiteral("empty.mdb"));
        QVERIFY(writeDatabase(m_ours, Database{}, nullptr));
    }

    void objects() {
        const JetFileChecker ours(m_ours);
        const JetFileChecker access(m_access);
        QStringList a;
        QStringList b;
        for (const auto& r : ours.catalog())
            a << describe(r, accessObjectsId(ours));
        for (const auto& r : access.catalog())
            b << describe(r, accessObjectsId(access));
        QCOMPARE(a, b);
    }

    void permissions() {
        const JetFileChecker ours(m_ours);
        const JetFileChecker access(m_access);
        const auto list = [](const JetFileChecker& c) {
            QStringList out;
            for (const auto& ace : c.aces()) {
                out << QStringLiteral("%1 %2 %3 %4")
                           .arg(ace.objectId == accessObjectsId(c) ? QStringLiteral("AO")
                                                                   : QString::number(ace.objectId))
                           .arg(QString::fromLatin1(ace.sid.toHex()))
                           .arg(ace.rights)
                           .arg(ace.inheritable);
            }
            return out;
        };
        QCOMPARE(list(ours), list(access));
    }

    // The property lists Access keeps on the database object and its own objects. Access's
    // summary (title, author, company) and its window layout are left out on purpose.
    void properties_data() {
        QTest::addColumn<QString>("object");
        QTest::newRow("database") << QStringLiteral("MSysDb");
        QTest::newRow("layout") << QStringLiteral("AccessLayout");
        QTest::newRow("user defined") << QStringLiteral("UserDefined");
    }
    void properties() {
        QFETCH(QString, object);
        const auto find = [&](const JetFileChecker& c) {
            for (const auto& r : c.catalog()) {
                if (r.name == object)
                    return r.properties;
            }
            return QByteArray("<absent>");
        };
        const JetFileChecker ours(m_ours);
        const JetFileChecker access(m_access);
        QCOMPARE(find(ours).toHex(), find(access).toHex());
    }

    void systemTables_data() {
        QTest::addColumn<QString>("name");
        for (const QString& t : SystemTables)
            QTest::newRow(qPrintable(t)) << t;
    }
    void systemTables() {
        QFETCH(QString, name);
        MdbTableReader ours(m_ours);
        MdbTableReader access(m_access);
        MdbTableReader::Table a;
        MdbTableReader::Table b;
        QVERIFY(ours.read(name, &a));
        QVERIFY(access.read(name, &b));
        QCOMPARE(a.columns.size(), b.columns.size());
        for (qsizetype i = 0; i < a.columns.size(); ++i) {
            QCOMPARE(a.columns[i].name, b.columns[i].name);
            QCOMPARE(a.columns[i].type, b.columns[i].type);
            QCOMPARE(a.columns[i].size, b.columns[i].size);
        }
        QCOMPARE(a.indexes.size(), b.indexes.size());
        for (qsizetype i = 0; i < a.indexes.size(); ++i) {
            QCOMPARE(a.indexes[i].name, b.indexes[i].name);
            QCOMPARE(a.indexes[i].columns, b.indexes[i].columns);
            QCOMPARE(a.indexes[i].flags, b.indexes[i].flags);
            QCOMPARE(a.indexes[i].type, b.indexes[i].type);
        }
        // Access's own objects (the VBA project storage) are not written.
        if (name != QStringLiteral("MSysAccessObjects"))
            QCOMPARE(a.rows.size(), b.rows.size());
    }

    void sameTableList() {
        QCOMPARE(MdbTableReader(m_ours).tables(true), MdbTableReader(m_access).tables(true));
        QCOMPARE(MdbTableReader(m_ours).tables(), QStringList());
    }
};

int jettest::runCatalogTest(int argc, char** argv) {
    CatalogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "CatalogTest.moc"
