#pragma once

#include "jet/JetDatabase.h"

#include <QString>
#include <QTest>

namespace jettest {

using namespace fiscora::jet;
using fiscora::Status;

inline Column column(const QString& name, ColumnType type, int size = 0, bool autoNumber = false,
                     bool required = false) {
    Column c;
    c.name = name;
    c.type = type;
    c.size = size;
    c.autoNumber = autoNumber;
    c.required = required;
    return c;
}

inline TableData table(const QString& name, const QList<Column>& columns, const QList<Row>& rows = {}) {
    TableData t;
    t.table.name = name;
    t.table.columns = columns;
    t.rows = rows;
    return t;
}

int runHeaderTest(int argc, char** argv);
int runRoundTripTest(int argc, char** argv);
int runStructureTest(int argc, char** argv);
int runCatalogTest(int argc, char** argv);

} // namespace jettest

// Values print readably when a comparison fails.
namespace QTest {
template <> inline char* toString(const fiscora::jet::Value& v) {
    using namespace fiscora::jet;
    QString s;
    if (std::holds_alternative<std::monostate>(v))
        s = QStringLiteral("null");
    else if (const bool* b = std::get_if<bool>(&v))
        s = *b ? QStringLiteral("true") : QStringLiteral("false");
    else if (const qint64* n = std::get_if<qint64>(&v))
        s = QString::number(*n);
    else if (const Currency* c = std::get_if<Currency>(&v))
        s = QStringLiteral("currency %1").arg(c->scaled);
    else if (const double* d = std::get_if<double>(&v))
        s = QString::number(*d, 'g', 17);
    else if (const DateTime* t = std::get_if<DateTime>(&v))
        s = QStringLiteral("date %1").arg(t->oleDays, 0, 'g', 17);
    else if (const QString* text = std::get_if<QString>(&v))
        s = QStringLiteral("\"%1\"").arg(text->size() > 80 ? text->left(80) + QStringLiteral("...") : *text);
    return qstrdup(s.toUtf8().constData());
}
} // namespace QTest
