#include "net/LibCrypto.h"

#include "core/SystemLibrary.h"

#define FISCORA_TEXT(x) #x
#define FISCORA_SHLIB(version) "libcrypto.so." FISCORA_TEXT(version)

namespace fiscora {

const Result<const LibCrypto*>& libCrypto() {
    static const Result<const LibCrypto*> loaded = []() -> Result<const LibCrypto*> {
        static LibCrypto table;
        // The library this build was compiled against.
        const Status status = loadSystemLibrary(FISCORA_SHLIB(OPENSSL_SHLIB_VERSION),
                                                {FISCORA_LIBCRYPTO(FISCORA_LIBRARY_SYMBOL)});
        if (!status)
            return status.error();
        return &table;
    }();
    return loaded;
}

} // namespace fiscora
