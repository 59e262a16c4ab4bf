#include "jet/SystemCatalog.h"

#include "jet/JetFormat.h"
#include "jet/PropertyBlob.h"

#include <algorithm>
#include <cstring>

namespace fiscora::jet {

using namespace format;

namespace {

constexpr quint8 SystemFixed = 0x13;
constexpr quint8 SystemVariable = 0x12;
constexpr quint8 SystemBinary = 0x32;

ColumnSchema column(const char* name, quint8 type, quint16 length, quint8 flags) {
    ColumnSchema c;
    c.name = QString::fromLatin1(name);
    c.type = type;
    c.length = length;
    c.flags = flags;
    c.maxChars = type == TypeText ? length / 2 : 0;
    return c;
}

IndexSchema index(const char* name, std::vector<int> columns, quint8 flags, bool primaryKey) {
    IndexSchema i;
    i.name = QString::fromLatin1(name);
    i.columns = std::move(columns);
    i.flags = flags;
    i.primaryKey = primaryKey;
    i.unique = flags & IndexUnique;
    return i;
}

// Jet's system tables list their column descriptors by name.
TableSchema systemTable(const char* name, std::vector<ColumnSchema> columns,
                        std::vector<IndexSchema> indexes) {
    TableSchema t;
    t.name = QString::fromLatin1(name);
    t.system = true;
    t.columns = std::move(columns);
    t.indexes = std::move(indexes);
    t.computeLayout();
    std::stable_sort(t.descriptorOrder.begin(), t.descriptorOrder.end(), [&t](int a, int b) {
        return QString::compare(t.columns[std::size_t(a)].name, t.columns[std::size_t(b)].name,
                                Qt::CaseInsensitive) < 0;
    });
    return t;
}

QByteArray bytes(std::initializer_list<quint8> list) {
    return QByteArray(reinterpret_cast<const char*>(std::data(list)), qsizetype(list.size()));
}

// Security ids of the empty database (Access stores them in its own encoded form).
const QByteArray& sid(int which) {
    static const quint8 creator[] = {
        0xA4, 0xF7, 0x46, 0x67, 0xE1, 0x71, 0x67, 0xEE, 0xD7, 0xB1, 0x0F, 0x8F, 0xFE, 0xEF, 0x76, 0xFF, 0xAA,
        0xE3, 0x66, 0x51, 0x05, 0xBD, 0xD2, 0x9D, 0x4D, 0x4B, 0x39, 0x52, 0xD9, 0xFB, 0x9A, 0x07, 0x66, 0x0C,
        0x5B, 0xD2, 0xD8, 0x7D, 0xDD, 0xB3, 0x1E, 0x65, 0x90, 0x19, 0x00, 0x94, 0x89, 0xC2, 0x3C, 0x25, 0x6A,
        0xCF, 0xDB, 0x34, 0x9A, 0x57, 0xAF, 0x50, 0xC5, 0x14, 0x9A, 0x98, 0x30, 0xE6, 0x2C, 0x35, 0x55, 0x3F,
        0x0E, 0x95, 0xCF, 0xB6, 0xEC, 0xB5, 0x70, 0xB2, 0xF0, 0xA9, 0x9B, 0x1C, 0xDB, 0xCE, 0x60, 0x74, 0x7B,
        0x7B, 0x13, 0xCF, 0x1D, 0xAF, 0xC3, 0xD6, 0x18, 0x5F, 0x9C, 0x5B, 0xE4, 0xE8, 0x7E, 0x37, 0xED, 0xB3,
    };
    static const QByteArray sids[] = {
        bytes({0xA7, 0x33}),
        QByteArray(reinterpret_cast<const char*>(creator), sizeof creator),
        bytes({0xA6, 0x33}),
        bytes({0xA7, 0x36}),
    };
    return sids[which];
}

const QByteArray& jetOwner() {
    static const QByteArray owner = bytes({0xA7, 0x31});
    return owner;
}

const QByteArray& accessOwner() {
    static const QByteArray owner = bytes({0xA6, 0x33});
    return owner;
}

double jetDate(std::initializer_list<quint8> b) {
    double d;
    std::memcpy(&d, std::data(b), sizeof d);
    return d;
}

// The dates Access's empty database gives its objects.
const double JetObjectsDate = jetDate({0x3E, 0xD1, 0xC4, 0xC5, 0x91, 0x84, 0xE2, 0x40});
const double AccessObjectsDate = jetDate({0x73, 0x2E, 0xC5, 0xC5, 0x91, 0x84, 0xE2, 0x40});
const double LayoutCreated = jetDate({0x54, 0xB3, 0xB9, 0x6D, 0xF1, 0x9F, 0xE2, 0x40});
const double LayoutUpdated = jetDate({0x50, 0x0F, 0x1F, 0x7D, 0xF1, 0x9F, 0xE2, 0x40});
const double AccessObjectsCreated = jetDate({0xBC, 0x72, 0x1F, 0x7D, 0xF1, 0x9F, 0xE2, 0x40});
const double AccessObjectsUpdated = jetDate({0xBD, 0x72, 0x1F, 0x7D, 0xF1, 0x9F, 0xE2, 0x40});

constexpr qint32 id(quint32 v) {
    return qint32(v);
}
constexpr qint32 SystemObject = id(0x80000000);
constexpr qint16 ContainerType = 3;
constexpr qint16 DatabaseType = 2;
constexpr qint16 TableType = 1;
constexpr qint16 AccessPropertiesType = qint16(0x800B);

constexpr qint32 FullRights = 1048575;
constexpr qint32 TableRights = 1048319;

} // namespace

TableSchema SystemCatalog::objectsTable() {
    return systemTable("MSysObjects",
                       {
                           column("Id", TypeLong, 4, SystemFixed),
                           column("ParentId", TypeLong, 4, SystemFixed),
                           column("Name", TypeText, 510, SystemVariable),
                           column("Type", TypeInteger, 2, SystemFixed),
                           column("DateCreate", TypeDateTime, 8, SystemFixed),
                           column("DateUpdate", TypeDateTime, 8, SystemFixed),
                           column("Owner", TypeBinary, 510, SystemBinary),
                           column("Flags", TypeLong, 4, SystemFixed),
                           column("Database", TypeMemo, 0, SystemVariable),
                           column("Connect", TypeMemo, 0, SystemVariable),
                           column("ForeignName", TypeText, 510, SystemVariable),
                           column("RmtInfoShort", TypeBinary, 510, SystemVariable),
                           column("RmtInfoLong", TypeOle, 0, SystemVariable),
                           column("Lv", TypeOle, 0, SystemVariable),
                           column("LvProp", TypeOle, 0, SystemVariable),
                           column("LvModule", TypeOle, 0, SystemVariable),
                           column("LvExtra", TypeOle, 0, SystemVariable),
                       },
                       {
                           index("ParentIdName", {ParentId, Name}, IndexAlways | IndexUnique, false),
                           index("Id", {Id}, IndexAlways | IndexUnique, true),
                       });
}

TableSchema SystemCatalog::acesTable() {
    return systemTable("MSysACEs",
                       {
                           column("ObjectId", TypeLong, 4, SystemFixed),
                           column("SID", TypeBinary, 510, SystemBinary),
                           column("ACM", TypeLong, 4, SystemFixed),
                           column("FInheritable", TypeBoolean, 1, SystemFixed),
                       },
                       {index("ObjectId", {0}, IndexAlways | IndexRequired, false)});
}

TableSchema SystemCatalog::queriesTable() {
    return systemTable("MSysQueries",
                       {
                           column("ObjectId", TypeLong, 4, SystemFixed),
                           column("Attribute", TypeByte, 1, SystemFixed),
                           column("Order", TypeBinary, 510, SystemVariable),
                           column("Name1", TypeText, 510, SystemVariable),
                           column("Name2", TypeText, 510, SystemVariable),
                           column("Expression", TypeMemo, 0, SystemVariable),
                           column("Flag", TypeInteger, 2, SystemFixed),
                           column("LvExtra", TypeLong, 4, SystemFixed),
                       },
                       {index("ObjectIdAttribute", {0, 1, 2}, IndexAlways | IndexUnique, true)});
}

TableSchema SystemCatalog::relationshipsTable() {
    return systemTable("MSysRelationships",
                       {
                           column("szRelationship", TypeText, 510, SystemVariable),
                           column("grbit", TypeLong, 4, SystemFixed),
                           column("ccolumn", TypeLong, 4, SystemFixed),
                           column("icolumn", TypeLong, 4, SystemFixed),
                           column("szObject", TypeText, 510, SystemVariable),
                           column("szColumn", TypeText, 510, SystemVariable),
                           column("szReferencedObject", TypeText, 510, SystemVariable),
                           column("szReferencedColumn", TypeText, 510, SystemVariable),
                       },
                       {
                           index("szRelationship", {0}, IndexAlways | 0x02, false),
                           index("szObject", {4}, IndexAlways | 0x02, false),
                           index("szReferencedObject", {6}, IndexAlways | 0x02, false),
                       });
}

TableSchema SystemCatalog::accessObjectsTable() {
    // Access's own table, defined as a user table; its Data column (a long binary of type
    // 0x11) sits in the fixed area while the ID column is variable, exactly as Access has it.
    TableSchema t;
    t.name = QStringLiteral("MSysAccessObjects");
    t.columns = {column("Data", TypeLongBinary, 3992, ColumnFixed | ColumnUpdatable),
                 column("ID", TypeLong, 4, ColumnUpdatable)};
    t.indexes = {index("AOIndex", {1}, IndexAlways | IndexUnique | IndexRequired, true)};
    t.computeLayout();
    t.columns[0].varIndex = 0;
    t.columns[0].fixedOffset = 0;
    t.columns[1].varIndex = 0;
    t.columns[1].fixedOffset = 0;
    t.variableCount = 1;
    return t;
}

std::vector<SystemCatalog::ObjectRow> SystemCatalog::objectRows(qint32 accessObjectsId) {
    PropertyBlob database;
    database.addText({}, QStringLiteral("AccessVersion"), QStringLiteral("08.50"));
    database.addLong({}, QStringLiteral("Build"), 6620);
    PropertyBlob layout;
    layout.addText({}, QStringLiteral("KeepLocal"), QStringLiteral("T"));
    PropertyBlob userDefined;
    userDefined.addBoolean({}, QStringLiteral("ReplicateProject"), true);

    const double j = JetObjectsDate;
    const double a = AccessObjectsDate;
    const QByteArray none;
    return {
        {TablesContainer, RootContainer, QStringLiteral("Tables"), ContainerType, j, j, jetOwner(),
         SystemObject, none},
        {DatabasesContainer, RootContainer, QStringLiteral("Databases"), ContainerType, j, j, jetOwner(),
         SystemObject, none},
        {RelationshipsContainer, RootContainer, QStringLiteral("Relationships"), ContainerType, j, j,
         jetOwner(), SystemObject, none},
        {DatabaseObject, DatabasesContainer, QStringLiteral("MSysDb"), DatabaseType, j, j, accessOwner(),
         SystemObject, database.toBytes()},
        {id(ObjectsPage), TablesContainer, QStringLiteral("MSysObjects"), TableType, j, j, jetOwner(),
         SystemObject, none},
        {id(AcesPage), TablesContainer, QStringLiteral("MSysACEs"), TableType, j, j, jetOwner(), SystemObject,
         none},
        {id(QueriesPage), TablesContainer, QStringLiteral("MSysQueries"), TableType, j, j, jetOwner(),
         SystemObject, none},
        {id(RelationshipsPage), TablesContainer, QStringLiteral("MSysRelationships"), TableType, j, j,
         jetOwner(), SystemObject, none},
        {id(0x80000000), RootContainer, QStringLiteral("DataAccessPages"), ContainerType, a, a, accessOwner(),
         0, none},
        {id(0x80000001), RootContainer, QStringLiteral("Forms"), ContainerType, a, a, accessOwner(), 0, none},
        {id(0x80000002), RootContainer, QStringLiteral("Modules"), ContainerType, a, a, accessOwner(), 0,
         none},
        {id(0x80000003), RootContainer, QStringLiteral("Reports"), ContainerType, a, a, accessOwner(), 0,
         none},
        {id(0x80000004), RootContainer, QStringLiteral("Scripts"), ContainerType, a, a, accessOwner(), 0,
         none},
        {id(0x80000005), RootContainer, QStringLiteral("SysRel"), ContainerType, a, a, accessOwner(), 0,
         none},
        {id(0x80000006), DatabasesContainer, QStringLiteral("AccessLayout"), AccessPropertiesType,
         LayoutCreated, LayoutUpdated, accessOwner(), 0, layout.toBytes()},
        {id(0x80000007), DatabasesContainer, QStringLiteral("SummaryInfo"), AccessPropertiesType, a, a,
         accessOwner(), 0, none},
        {id(0x80000008), DatabasesContainer, QStringLiteral("UserDefined"), AccessPropertiesType, a, a,
         accessOwner(), 0, userDefined.toBytes()},
        {accessObjectsId, TablesContainer, QStringLiteral("MSysAccessObjects"), TableType,
         AccessObjectsCreated, AccessObjectsUpdated, accessOwner(), 2, none},
    };
}

std::vector<SystemCatalog::AceRow> SystemCatalog::aceRows(qint32 accessObjectsId) {
    struct Ace {
        qint32 objectId;
        int sid;
        qint32 rights;
        bool inheritable;
    };
    static const Ace aces[] = {
        {id(0x80000000), 0, FullRights, true},
        {id(0x80000000), 1, FullRights, true},
        {id(0x80000000), 2, FullRights, true},
        {id(0x80000000), 3, FullRights, true},
        {DatabasesContainer, 2, 393216, false},
        {id(0x80000001), 0, FullRights, true},
        {id(0x80000001), 1, FullRights, true},
        {id(0x80000001), 2, FullRights, true},
        {id(0x80000001), 3, FullRights, true},
        {id(0x80000002), 0, FullRights, true},
        {id(0x80000002), 1, FullRights, true},
        {id(0x80000002), 2, FullRights, true},
        {id(0x80000002), 3, FullRights, true},
        {RelationshipsContainer, 3, 983294, true},
        {RelationshipsContainer, 2, 393217, false},
        {RelationshipsContainer, 1, FullRights, true},
        {RelationshipsContainer, 0, FullRights, true},
        {id(0x80000003), 0, FullRights, true},
        {id(0x80000003), 1, FullRights, true},
        {id(0x80000003), 2, FullRights, true},
        {id(0x80000003), 3, FullRights, true},
        {id(0x80000004), 0, FullRights, true},
        {id(0x80000004), 1, FullRights, true},
        {id(0x80000004), 2, FullRights, true},
        {id(0x80000004), 3, FullRights, true},
        {id(0x80000005), 0, FullRights, true},
        {id(0x80000005), 1, FullRights, true},
        {id(0x80000005), 2, FullRights, true},
        {id(0x80000005), 3, FullRights, true},
        {TablesContainer, 3, 983294, true},
        {TablesContainer, 2, TableRights, true},
        {TablesContainer, 1, TableRights, true},
        {TablesContainer, 0, TableRights, true},
        {DatabaseObject, 2, 393230, false},
        {DatabaseObject, 0, 14, false},
        {DatabaseObject, 1, 393230, false},
        {id(0x80000007), 0, 65536, false},
        {id(0x80000008), 0, 65536, false},
        {0, 2, FullRights, false},
        {0, 1, FullRights, false},
        {0, 0, FullRights, false}, // MSysAccessObjects
        {id(AcesPage), 2, 393216, false},
        {id(AcesPage), 1, 393300, false},
        {id(ObjectsPage), 2, 393216, false},
        {id(ObjectsPage), 1, 393300, false},
        {id(ObjectsPage), 0, 20, false},
        {id(QueriesPage), 2, 393216, false},
        {id(QueriesPage), 1, 393236, false},
        {id(QueriesPage), 0, 20, false},
        {id(RelationshipsPage), 2, 917504, false},
        {id(RelationshipsPage), 1, 393236, false},
        {id(RelationshipsPage), 0, 20, false},
    };
    std::vector<AceRow> rows;
    rows.reserve(std::size(aces));
    for (const Ace& a : aces)
        rows.push_back(
            AceRow{a.objectId ? a.objectId : accessObjectsId, sid(a.sid), a.rights, a.inheritable});
    return rows;
}

SystemCatalog::ObjectRow SystemCatalog::tableRow(qint32 tableId, const QString& name, double now,
                                                 const QByteArray& properties) {
    return ObjectRow{tableId, TablesContainer, name, TableType, now, now, accessOwner(), 0, properties};
}

std::vector<SystemCatalog::AceRow> SystemCatalog::tableAces(qint32 tableId) {
    // Access gives a new table the Tables container's inheritable entries with full rights
    // over the table's data and design.
    return {
        AceRow{tableId, sid(2), TableRights, false},
        AceRow{tableId, sid(1), TableRights, false},
        AceRow{tableId, sid(0), TableRights, false},
    };
}

QByteArray SystemCatalog::tableProperties(const TableSchema& schema) {
    PropertyBlob blob;
    for (const ColumnSchema& c : schema.columns) {
        blob.addBoolean(c.name, QStringLiteral("Required"), c.required, true);
        if (c.isText()) {
            blob.addBoolean(c.name, QStringLiteral("AllowZeroLength"), true, true);
            blob.addBoolean(c.name, QStringLiteral("UnicodeCompression"), true, true);
        }
    }
    return blob.toBytes();
}

} // namespace fiscora::jet
