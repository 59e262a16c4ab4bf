#pragma once

#include "jet/TableSchema.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace fiscora::jet {

// The system tables and objects of an empty Access 2000 database, as Access itself writes
// them: MSysObjects, MSysACEs, MSysQueries, MSysRelationships and MSysAccessObjects, the
// containers, the database object and Access's own objects, with their owners, permissions
// and properties.
class SystemCatalog final {
public:
    // Ids of the catalog's fixed objects.
    static constexpr qint32 TablesContainer = 0x0F000001;
    static constexpr qint32 DatabasesContainer = 0x0F000002;
    static constexpr qint32 RelationshipsContainer = 0x0F000003;
    static constexpr qint32 RootContainer = 0x0F000000;
    static constexpr qint32 DatabaseObject = 0x10000000;
    // Definition pages of the Jet system tables (also their ids).
    static constexpr quint32 ObjectsPage = 2;
    static constexpr quint32 AcesPage = 3;
    static constexpr quint32 QueriesPage = 4;
    static constexpr quint32 RelationshipsPage = 5;

    static TableSchema objectsTable();
    static TableSchema acesTable();
    static TableSchema queriesTable();
    static TableSchema relationshipsTable();
    static TableSchema accessObjectsTable();

    // Column positions of MSysObjects used below.
    enum ObjectColumn { Id = 0, ParentId, Name, Type, DateCreate, DateUpdate, Owner, Flags, LvProp = 14 };
    static constexpr int ObjectColumns = 17;
    static constexpr int AceColumns = 4;

    struct ObjectRow {
        qint32 id;
        qint32 parentId;
        QString name;
        qint16 type;
        double created;
        double updated;
        QByteArray owner;
        qint32 flags;
        QByteArray properties; // LvProp; null for none
    };
    struct AceRow {
        qint32 objectId;
        QByteArray sid;
        qint32 rights;
        bool inheritable;
    };

    // The rows of the empty database; accessObjectsId is MSysAccessObjects' definition page.
    static std::vector<ObjectRow> objectRows(qint32 accessObjectsId);
    static std::vector<AceRow> aceRows(qint32 accessObjectsId);

    // What a new user table adds: its object row and the permissions Access gives it.
    static ObjectRow tableRow(qint32 id, const QString& name, double now, const QByteArray& properties);
    static std::vector<AceRow> tableAces(qint32 id);
    // The property list Access keeps for a user table's columns.
    static QByteArray tableProperties(const TableSchema& schema);
};

} // namespace fiscora::jet
