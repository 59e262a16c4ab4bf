// libFuzzer target for the decoder of fiscora-leitor-mdb's output stream (configure with clang and
// -DFISCORA_LIBFUZZER=ON): any byte string must decode into consistent tables or be refused.

#include "data/AccessReader.h"

#include <cstdint>
#include <cstdlib>

using namespace fiscora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray stream = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const Result<AccessDatabase> decoded = AccessReader::decode(stream);
    if (!decoded)
        return 0;
    const AccessDatabase& database = *decoded;
    for (const AccessTable& table : database.tables) {
        if (table.unsupported.size() != table.definition.columns.size())
            std::abort();
        for (const jet::Row& row : table.rows) {
            if (row.size() != table.definition.columns.size())
                std::abort();
        }
        for (const jet::Index& index : table.definition.indexes) {
            for (const int column : index.columns) {
                if (column < 0 || column >= table.definition.columns.size())
                    std::abort();
            }
        }
    }
    return 0;
}
