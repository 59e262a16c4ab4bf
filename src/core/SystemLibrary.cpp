#include "core/SystemLibrary.h"

#include <QByteArray>

#include <dlfcn.h>

#include <cstring>

namespace fiscora {

Status loadSystemLibrary(const char* soname, std::initializer_list<LibrarySymbol> symbols) {
    const auto failure = [soname](const char* detail) {
        return AppError{0, QStringLiteral("SystemLibrary"),
                        QStringLiteral("A biblioteca do sistema %1 não pôde ser carregada: %2")
                            .arg(QLatin1String(soname), QString::fromLocal8Bit(detail))};
    };
    void* handle = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return failure(dlerror());
    for (const LibrarySymbol& symbol : symbols) {
        void* address = dlsym(handle, symbol.name);
        if (!address)
            return failure(QByteArray("falta a função ").append(symbol.name).constData());
        // POSIX: a function's address comes back as void*; the slot holds a function pointer.
        std::memcpy(symbol.slot, &address, sizeof address);
    }
    return {};
}

} // namespace fiscora
