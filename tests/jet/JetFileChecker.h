#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

// Walks a Jet 4 file with its own reading of the format (nothing shared with the writer) and
// checks that its parts agree: every page belongs to exactly one structure and the global map
// says so; each table's definition, usage maps, data pages, long values and indexes match its
// rows; the catalog lists every table with its permissions.
class JetFileChecker final {
public:
    struct Index {
        QString name;
        quint32 entries = 0;     // as the definition records it
        quint32 leafEntries = 0; // as the tree holds them
        int depth = 0;           // 1 for a lone leaf
        std::vector<quint32> pages;
    };
    struct Table {
        QString name;
        quint32 id = 0;
        quint32 definitionPage = 0;
        int definitionPages = 0;
        quint32 rows = 0;
        quint32 autoNumber = 0;
        int ownedMapType = 0;
        std::vector<quint32> dataPages;
        std::vector<int> rowsPerPage;
        std::vector<int> freeSpace;
        int inlineValues = 0;  // long values kept in the row
        int singleValues = 0;  // in one long-value row
        int chainedValues = 0; // in a chain of rows
        QList<Index> indexes;
    };
    struct CatalogRow {
        qint32 id;
        qint32 parentId;
        QString name;
        qint16 type;
        qint32 flags;
        QByteArray owner;
        QByteArray properties; // LvProp
    };
    struct Ace {
        qint32 objectId;
        QByteArray sid;
        qint32 rights;
        bool inheritable;
    };

    explicit JetFileChecker(const QString& path);

    QStringList problems() const { return m_problems; }
    quint32 pageCount() const { return m_pageCount; }
    const QList<Table>& tables() const { return m_tables; }
    const Table* table(const QString& name) const;
    const QList<CatalogRow>& catalog() const { return m_catalog; }
    const QList<Ace>& aces() const { return m_aces; }

private:
    struct Column {
        quint8 type;
        int number, varIndex, fixedOffset, length;
        quint8 flags;
        QString name;
    };
    struct Definition {
        bool ok = false;
        std::vector<quint32> pages;
        quint32 rows = 0, autoNumber = 0, ownedMap = 0, freeMap = 0;
        quint8 tableType = 0;
        int columnCount = 0, variableCount = 0;
        std::vector<Column> columns; // by column number
        std::vector<quint32> indexEntries;
        struct Physical {
            std::vector<int> columns;
            quint32 map, root;
            quint8 flags;
        };
        std::vector<Physical> physical;
        std::vector<std::pair<QString, int>> logical; // name, physical index
        struct LongValue {
            int column;
            quint32 owned, free;
        };
        std::vector<LongValue> longValues;
    };
    struct RowRef {
        quint32 page;
        int row;
        QByteArray bytes;
    };
    using Cells = std::vector<QByteArray>; // per column number; null QByteArray when null

    void check();
    void problem(const QString& text) { m_problems << text; }
    void claim(quint32 page, const QString& owner);
    const quint8* page(quint32 n) const;
    QByteArray rowAt(quint32 pointer) const;
    bool readMap(quint32 pointer, std::vector<quint32>* pages, int* type, bool claimBitmaps,
                 const QString& owner);
    Definition readDefinition(quint32 page, const QString& owner);
    std::vector<RowRef> readRows(const Definition& d, const std::vector<quint32>& pages, quint32 owner,
                                 const QString& what, Table* info);
    Cells crack(const Definition& d, const QByteArray& row, const QString& what);
    QByteArray longValue(const QByteArray& cell, const std::vector<quint32>& pages, Table* info,
                         const QString& what);
    void checkTable(Table& info, const Definition& d, const std::vector<RowRef>& rows);
    void walkIndex(const Definition& d, int physical, Index& index, const std::vector<RowRef>& rows,
                   const QString& what);

    QByteArray m_file;
    quint32 m_pageCount = 0;
    std::vector<QString> m_claims;
    QStringList m_problems;
    QList<Table> m_tables;
    QList<CatalogRow> m_catalog;
    QList<Ace> m_aces;
};
