#include "jet/TableSchema.h"

#include "jet/GeneralSortOrder.h"
#include "jet/JetFormat.h"

#include <QSet>

#include <algorithm>

namespace fiscora::jet {

using namespace format;

bool ColumnSchema::isFixed() const {
    switch (type) {
    case TypeByte:
    case TypeInteger:
    case TypeLong:
    case TypeCurrency:
    case TypeSingle:
    case TypeDouble:
    case TypeDateTime:
    case TypeBoolean:
        return true;
    default:
        return false;
    }
}

bool ColumnSchema::isLongValue() const {
    return type == TypeMemo || type == TypeOle;
}

bool ColumnSchema::isText() const {
    return type == TypeText || type == TypeMemo;
}

int ColumnSchema::fixedSize() const {
    switch (type) {
    case TypeByte:
        return 1;
    case TypeInteger:
        return 2;
    case TypeLong:
    case TypeSingle:
        return 4;
    case TypeCurrency:
    case TypeDouble:
    case TypeDateTime:
        return 8;
    default:
        return 0; // booleans: the null mask holds them
    }
}

void TableSchema::computeLayout() {
    int fixedOffset = 0;
    int variables = 0;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        ColumnSchema& c = columns[i];
        c.number = quint16(i);
        if (c.isFixed()) {
            c.varIndex = quint16(variables);
            // Booleans take no room (the null mask holds them); Access gives them offset 0.
            c.fixedOffset = c.type == TypeBoolean ? 0 : quint16(fixedOffset);
            fixedOffset += c.fixedSize();
        } else {
            c.varIndex = quint16(variables++);
            c.fixedOffset = 0;
        }
    }
    fixedAreaSize = fixedOffset;
    variableCount = variables;
    if (descriptorOrder.empty()) {
        for (std::size_t i = 0; i < columns.size(); ++i)
            descriptorOrder.push_back(int(i));
    }
}

std::vector<int> TableSchema::longValueColumns() const {
    std::vector<int> result;
    for (const int i : descriptorOrder) {
        if (columns[std::size_t(i)].isLongValue())
            result.push_back(i);
    }
    return result;
}

std::vector<int> TableSchema::logicalIndexOrder() const {
    std::vector<int> order(indexes.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
        return QString::compare(indexes[std::size_t(a)].name, indexes[std::size_t(b)].name,
                                Qt::CaseInsensitive) < 0;
    });
    return order;
}

quint8 TableSchema::typeCode(ColumnType type) {
    switch (type) {
    case ColumnType::Boolean:
        return TypeBoolean;
    case ColumnType::Byte:
        return TypeByte;
    case ColumnType::Integer:
        return TypeInteger;
    case ColumnType::Long:
        return TypeLong;
    case ColumnType::Currency:
        return TypeCurrency;
    case ColumnType::Single:
        return TypeSingle;
    case ColumnType::Double:
        return TypeDouble;
    case ColumnType::DateTime:
        return TypeDateTime;
    case ColumnType::Text:
        return TypeText;
    case ColumnType::Memo:
        return TypeMemo;
    }
    return TypeText;
}

namespace {

constexpr int MaxNameLength = 64;
constexpr int MaxColumns = 255;
constexpr int MaxIndexes = 32;
constexpr int MaxIndexColumns = 10;

// Access's naming rules: 1 to 64 characters, no leading blank, none of . ! ` [ ] and no
// control characters.
bool validName(const QString& name) {
    if (name.isEmpty() || name.size() > MaxNameLength || name.front() == QLatin1Char(' '))
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c == QLatin1Char('.') || c == QLatin1Char('!') || c == QLatin1Char('`') ||
            c == QLatin1Char('[') || c == QLatin1Char(']'))
            return false;
    }
    return true;
}

} // namespace

Result<TableSchema> TableSchema::fromTable(const Table& table) {
    const QString& t = table.name;
    if (!validName(t)) {
        return AppError::message(QStringLiteral("Nome de tabela inválido: \"%1\".").arg(t));
    }
    if (!GeneralSortOrder::supports(t)) {
        return AppError::message(
            QStringLiteral("O nome da tabela \"%1\" contém caractere não suportado.").arg(t));
    }
    if (table.columns.isEmpty() || table.columns.size() > MaxColumns) {
        return AppError::message(
            QStringLiteral("A tabela %1 deve ter de 1 a %2 colunas.").arg(t).arg(MaxColumns));
    }

    TableSchema schema;
    schema.name = t;
    QSet<QString> names;
    for (qsizetype i = 0; i < table.columns.size(); ++i) {
        const Column& in = table.columns.at(i);
        if (!validName(in.name)) {
            return AppError::message(
                QStringLiteral("Tabela %1: nome de coluna inválido: \"%2\".").arg(t, in.name));
        }
        if (names.contains(in.name.toCaseFolded())) {
            return AppError::message(QStringLiteral("Tabela %1: coluna %2 repetida.").arg(t, in.name));
        }
        names.insert(in.name.toCaseFolded());

        ColumnSchema c;
        c.name = in.name;
        c.type = typeCode(in.type);
        c.columnIndex = quint16(i);
        c.required = in.required;
        c.flags = ColumnUpdatable;
        if (c.isFixed())
            c.flags |= ColumnFixed;
        switch (in.type) {
        case ColumnType::Text:
            if (in.size < 1 || in.size > 255) {
                return AppError::message(
                    QStringLiteral("Tabela %1, coluna %2: o tamanho de um texto vai de 1 a 255 caracteres.")
                        .arg(t, in.name));
            }
            c.maxChars = in.size;
            c.length = quint16(2 * in.size);
            c.extraFlags = ColumnCompressedUnicode;
            break;
        case ColumnType::Memo:
            c.length = 0;
            c.extraFlags = ColumnCompressedUnicode;
            break;
        case ColumnType::Boolean:
            c.length = 1;
            break;
        default:
            c.length = quint16(c.fixedSize());
            break;
        }
        if (in.autoNumber) {
            if (in.type != ColumnType::Long || schema.autoNumberColumn >= 0) {
                return AppError::message(
                    QStringLiteral("Tabela %1, coluna %2: numeração automática só em uma coluna de tipo "
                                   "inteiro longo.")
                        .arg(t, in.name));
            }
            c.autoNumber = true;
            c.flags |= ColumnAutoNumber;
            schema.autoNumberColumn = int(i);
        }
        schema.columns.push_back(c);
    }

    if (table.indexes.size() > MaxIndexes) {
        return AppError::message(QStringLiteral("A tabela %1 tem índices demais.").arg(t));
    }
    QSet<QString> indexNames;
    bool havePrimaryKey = false;
    for (const Index& in : table.indexes) {
        if (!validName(in.name) || indexNames.contains(in.name.toCaseFolded())) {
            return AppError::message(
                QStringLiteral("Tabela %1: nome de índice inválido ou repetido: \"%2\".").arg(t, in.name));
        }
        indexNames.insert(in.name.toCaseFolded());
        if (in.columns.isEmpty() || in.columns.size() > MaxIndexColumns) {
            return AppError::message(QStringLiteral("Tabela %1, índice %2: de 1 a %3 colunas.")
                                         .arg(t, in.name)
                                         .arg(MaxIndexColumns));
        }
        if (in.primaryKey && havePrimaryKey) {
            return AppError::message(QStringLiteral("A tabela %1 tem mais de uma chave primária.").arg(t));
        }
        IndexSchema index;
        index.name = in.name;
        index.primaryKey = in.primaryKey;
        index.unique = in.unique || in.primaryKey;
        index.flags = IndexAlways;
        if (index.unique)
            index.flags |= IndexUnique;
        if (index.primaryKey)
            index.flags |= IndexRequired;
        for (const int position : in.columns) {
            if (position < 0 || position >= table.columns.size() ||
                std::find(index.columns.begin(), index.columns.end(), position) != index.columns.end()) {
                return AppError::message(
                    QStringLiteral("Tabela %1, índice %2: coluna inválida.").arg(t, in.name));
            }
            if (table.columns.at(position).type == ColumnType::Memo) {
                return AppError::message(
                    QStringLiteral("Tabela %1, índice %2: uma coluna memorando não pode ser indexada.")
                        .arg(t, in.name));
            }
            index.columns.push_back(position);
            if (in.primaryKey)
                schema.columns[std::size_t(position)].required = true;
        }
        havePrimaryKey = havePrimaryKey || in.primaryKey;
        schema.indexes.push_back(index);
    }

    schema.computeLayout();
    return schema;
}

} // namespace fiscora::jet
