#include "net/LibCurl.h"

namespace fiscora {

const Result<const LibCurl*>& libCurl() {
    return systemLibrary<LibCurl>([](LibCurl& table) -> Status {
        const Status loaded = loadSystemLibrary("libcurl.so.4", {FISCORA_LIBCURL(FISCORA_LIBRARY_SYMBOL)});
        if (!loaded)
            return loaded;
        // Once, before any handle exists (systemLibrary runs this on one thread only).
        if (table.curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
            return AppError{0, QStringLiteral("LibCurl"),
                            QStringLiteral("A biblioteca de comunicação (libcurl) não pôde ser iniciada.")};
        return {};
    });
}

} // namespace fiscora
