#include "net/LibCrypto.h"

#include "core/SystemLibrary.h"

#define FISCORA_TEXT(x) #x
#define FISCORA_SHLIB(version) "libcrypto.so." FISCORA_TEXT(version)

namespace fiscora {

const Result<const LibCrypto*>& libCrypto() {
    return systemLibrary<LibCrypto>([](LibCrypto& table) {
        // The library this build was compiled against.
        return loadSystemLibrary(FISCORA_SHLIB(OPENSSL_SHLIB_VERSION),
                                 {FISCORA_LIBCRYPTO(FISCORA_LIBRARY_SYMBOL)});
    });
}

} // namespace fiscora
