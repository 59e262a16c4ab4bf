#include "jet/JetWriter.h"

#include "jet/DataPageWriter.h"
#include "jet/GeneralSortOrder.h"
#include "jet/HeaderPage.h"
#include "jet/JetFormat.h"
#include "jet/PageStore.h"
#include "jet/SystemCatalog.h"
#include "jet/TableDefinition.h"
#include "jet/TableSchema.h"
#include "jet/TableWriter.h"
#include "jet/UsageMap.h"

#include <QByteArray>
#include <QDateTime>
#include <QSet>

#include <memory>
#include <vector>

namespace fiscora::jet {

using namespace format;

namespace {

// A table being written, with the pages and map rows reserved for it.
struct TablePlan {
    TableSchema schema;
    std::vector<quint32> definitionPages;
    quint32 ownedMap = 0;
    quint32 freeMap = 0;
    std::vector<quint32> indexMaps;
    std::vector<std::pair<quint32, quint32>> longValueMaps; // owned, free
    std::unique_ptr<TableWriter> writer;
};

} // namespace

double JetWriter::jetDate(const QDateTime& moment) {
    static const QDate epoch(1899, 12, 30);
    const qint64 days = epoch.daysTo(moment.date());
    const double fraction = moment.time().msecsSinceStartOfDay() / 86400000.0;
    // Before the epoch the day part is negative and the time still counts forward.
    return days >= 0 ? double(days) + fraction : double(days) - fraction;
}

Status JetWriter::build(const Database& database, PageStore& store) {
    if (database.password.size() > HeaderPage::MaxPasswordLength)
        return AppError::message(QStringLiteral("A senha do banco de dados tem mais de %1 caracteres.")
                                     .arg(HeaderPage::MaxPasswordLength));

    std::vector<TablePlan> plans;
    plans.reserve(std::size_t(5 + database.tables.size()));
    for (TableSchema s :
         {SystemCatalog::objectsTable(), SystemCatalog::acesTable(), SystemCatalog::queriesTable(),
          SystemCatalog::relationshipsTable(), SystemCatalog::accessObjectsTable()})
        plans.push_back(TablePlan{std::move(s), {}, 0, 0, {}, {}, nullptr});
    constexpr std::size_t SystemTables = 5;
    // Names are told apart as the catalog's index tells them apart: by their sort keys, which
    // ignore case (and make "ß" and "ss" the same name). The keys are kept as byte arrays: GCC 12
    // at -O3 misreads the memcmp of comparing two std::vector<quint8> as an overread.
    QSet<QByteArray> names;
    const auto key = [](const QString& name) {
        std::vector<quint8> k;
        GeneralSortOrder::appendKey(name, k);
        return QByteArray(reinterpret_cast<const char*>(k.data()), qsizetype(k.size()));
    };
    for (const TablePlan& p : plans)
        names.insert(key(p.schema.name));
    for (const TableData& data : database.tables) {
        Result<TableSchema> schema = TableSchema::fromTable(data.table);
        if (!schema)
            return schema.error();
        const QByteArray nameKey = key(schema->name);
        if (names.contains(nameKey))
            return AppError::message(QStringLiteral("Tabela %1 repetida.").arg(schema->name));
        names.insert(nameKey);
        plans.push_back(TablePlan{std::move(*schema), {}, 0, 0, {}, {}, nullptr});
    }

    // Page 0 header, page 1 global map, then every table definition: the catalog names a
    // table by its definition page, so these come first (MSysObjects is always page 2).
    store.allocate();
    store.allocate();
    for (TablePlan& p : plans) {
        const int n = TableDefinition::pageCount(p.schema);
        for (int k = 0; k < n; ++k)
            p.definitionPages.push_back(store.allocate());
    }
    Q_ASSERT(plans[0].definitionPages.front() == SystemCatalog::ObjectsPage);

    // Rows for the usage maps, filled in at the end.
    DataPageWriter maps(store, 0);
    const quint8 emptyMap[InlineMapRowSize] = {};
    for (TablePlan& p : plans) {
        p.ownedMap = maps.add(emptyMap, InlineMapRowSize);
        p.freeMap = maps.add(emptyMap, InlineMapRowSize);
        for (std::size_t k = 0; k < p.schema.indexes.size(); ++k)
            p.indexMaps.push_back(maps.add(emptyMap, InlineMapRowSize));
        for (std::size_t k = 0; k < p.schema.longValueColumns().size(); ++k) {
            const quint32 owned = maps.add(emptyMap, InlineMapRowSize);
            p.longValueMaps.emplace_back(owned, maps.add(emptyMap, InlineMapRowSize));
        }
    }
    for (TablePlan& p : plans)
        p.writer = std::make_unique<TableWriter>(store, p.schema, p.definitionPages.front());

    // The catalog: the rows of Access's empty database, then one object and its permissions
    // per user table.
    const auto accessObjectsId = qint32(plans[4].definitionPages.front());
    std::vector<SystemCatalog::ObjectRow> objects = SystemCatalog::objectRows(accessObjectsId);
    std::vector<SystemCatalog::AceRow> aces = SystemCatalog::aceRows(accessObjectsId);
    const double now = jetDate(QDateTime::currentDateTime());
    for (std::size_t t = SystemTables; t < plans.size(); ++t) {
        const auto tableId = qint32(plans[t].definitionPages.front());
        objects.push_back(SystemCatalog::tableRow(tableId, plans[t].schema.name, now,
                                                  SystemCatalog::tableProperties(plans[t].schema)));
        for (const SystemCatalog::AceRow& ace : SystemCatalog::tableAces(tableId))
            aces.push_back(ace);
    }
    {
        std::vector<Value> values(SystemCatalog::ObjectColumns);
        std::vector<QByteArray> binaries(SystemCatalog::ObjectColumns);
        for (const SystemCatalog::ObjectRow& o : objects) {
            std::fill(values.begin(), values.end(), Value{});
            std::fill(binaries.begin(), binaries.end(), QByteArray{});
            values[SystemCatalog::Id] = qint64(o.id);
            values[SystemCatalog::ParentId] = qint64(o.parentId);
            values[SystemCatalog::Name] = o.name;
            values[SystemCatalog::Type] = qint64(o.type);
            values[SystemCatalog::DateCreate] = DateTime{o.created};
            values[SystemCatalog::DateUpdate] = DateTime{o.updated};
            values[SystemCatalog::Flags] = qint64(o.flags);
            binaries[SystemCatalog::Owner] = o.owner;
            binaries[SystemCatalog::LvProp] = o.properties;
            if (Status added = plans[0].writer->addRow(values.data(), int(values.size()), binaries.data());
                !added)
                return added;
        }
        values.assign(SystemCatalog::AceColumns, Value{});
        binaries.assign(SystemCatalog::AceColumns, QByteArray{});
        for (const SystemCatalog::AceRow& a : aces) {
            values[0] = qint64(a.objectId);
            binaries[1] = a.sid;
            values[2] = qint64(a.rights);
            values[3] = a.inheritable;
            if (Status added = plans[1].writer->addRow(values.data(), int(values.size()), binaries.data());
                !added)
                return added;
        }
    }
    for (std::size_t t = 0; t < SystemTables; ++t) {
        if (Status finished = plans[t].writer->finish(); !finished)
            return finished;
    }

    for (std::size_t t = SystemTables; t < plans.size(); ++t) {
        TableWriter& writer = *plans[t].writer;
        const TableData& data = database.tables.at(qsizetype(t - SystemTables));
        for (const Row& row : data.rows) {
            if (Status added = writer.addRow(row.constData(), int(row.size()), nullptr); !added)
                return added;
        }
        if (Status finished = writer.finish(); !finished)
            return finished;
    }

    // Usage maps and definitions, now that every page is known.
    for (TablePlan& p : plans) {
        const TableWriter& w = *p.writer;
        UsageMap::build(store, w.dataPages(), maps.rowData(p.ownedMap));
        UsageMap::build(store, w.pagesWithFreeSpace(), maps.rowData(p.freeMap));
        TableState state;
        state.rowCount = w.rowCount();
        state.autoNumber = w.lastAutoNumber();
        state.ownedMap = p.ownedMap;
        state.freeMap = p.freeMap;
        for (std::size_t k = 0; k < w.indexes().size(); ++k) {
            const IndexBuilder& index = w.indexes()[k];
            UsageMap::build(store, index.pages(), maps.rowData(p.indexMaps[k]));
            state.indexes.push_back({index.entryCount(), p.indexMaps[k], index.rootPage()});
        }
        for (std::size_t k = 0; k < w.longValues().size(); ++k) {
            const LongValueWriter& lv = *w.longValues()[k];
            UsageMap::build(store, lv.pages(), maps.rowData(p.longValueMaps[k].first));
            std::vector<quint32> free;
            if (lv.lastPageCanTake(MaxInlineLongValue + 1))
                free.push_back(lv.pages().back());
            UsageMap::build(store, free, maps.rowData(p.longValueMaps[k].second));
            state.longValues.push_back({p.longValueMaps[k].first, p.longValueMaps[k].second});
        }
        TableDefinition::write(store, p.definitionPages, TableDefinition::build(p.schema, state));
    }

    if (!UsageMap::buildGlobal(store))
        return AppError::message(
            QStringLiteral("O banco de dados ficaria grande demais (mais de %1 páginas).")
                .arg(UsageMap::maxGlobalPages()));
    if (!HeaderPage::build(store.page(0), database.password))
        return AppError::message(QStringLiteral("Senha do banco de dados inválida."));
    return {};
}

} // namespace fiscora::jet
