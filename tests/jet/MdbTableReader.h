#pragma once

#include "jet/JetDatabase.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Reads an Access file through libmdb (mdbtools), the reader the program itself relies on,
// into the writer's value types: numbers, amounts and dates from their stored bytes (exact),
// texts through libmdb's own conversion.
class MdbTableReader final {
public:
    struct Column {
        QString name;
        int type = 0; // Jet type code
        int size = 0; // libmdb's column size
    };
    struct IndexInfo {
        QString name;
        QList<int> columns; // 1-based column numbers, as libmdb gives them
        int flags = 0;
        int type = 0;
        int rows = 0;
    };
    struct Table {
        QList<Column> columns;
        QList<fiscora::jet::Row> rows;
        QList<QList<QByteArray>> bytes; // per row and column: the stored bytes (binary columns)
        QList<IndexInfo> indexes;
    };

    explicit MdbTableReader(const QString& path);
    ~MdbTableReader();
    MdbTableReader(const MdbTableReader&) = delete;
    MdbTableReader& operator=(const MdbTableReader&) = delete;

    bool isOpen() const { return m_handle != nullptr; }
    QStringList tables(bool withSystem = false) const;
    bool read(const QString& table, Table* out) const;

private:
    void* m_handle = nullptr; // MdbHandle
};
