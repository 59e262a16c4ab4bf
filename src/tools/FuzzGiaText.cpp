// libFuzzer target for the GIA text conversion (configure with clang and -DFISCORA_LIBFUZZER=ON).
// Every input must either convert into rows that fit their columns, or stop with a message that
// names the line it stopped at.

#include "data/GiaTextConverter.h"
#include "data/NovaGiaLayout.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

using namespace fiscora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const jet::Database empty = NovaGiaLayout::emptyDatabase();
    jet::Database package = empty;
    GiaTextConverter converter(&package);
    if (!converter.prepare())
        std::abort();
    const QByteArrayView text(reinterpret_cast<const char*>(data), qsizetype(size));
    qint64 number = 0;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArrayView line = text.sliced(start, end - start);
        if (line.endsWith('\r'))
            line.chop(1);
        ++number;
        if (const Status added = converter.addLine(line, number); !added) {
            if (!added.error().description.startsWith(QStringLiteral("Linha %1: ").arg(number)))
                std::abort();
            return 0;
        }
        start = end + 1;
    }
    for (const jet::TableData& table : package.tables) {
        for (const jet::Row& row : table.rows) {
            if (row.size() != table.table.columns.size())
                std::abort();
            for (qsizetype c = 0; c < row.size(); ++c) {
                const jet::Column& column = table.table.columns.at(c);
                if (const auto* s = std::get_if<QString>(&row.at(c));
                    s && column.type == jet::ColumnType::Text && s->size() > column.size)
                    std::abort();
            }
        }
    }
    if (package.tables.at(1).rows.size() != converter.giaCount())
        std::abort();
    return 0;
}
