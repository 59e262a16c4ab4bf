#pragma once

#include "core/Result.h"

namespace fiscora {

// The object that one of the program's own modules hands out from its entry function,
// `extern "C" const void* entry()`. The module is looked for beside the code that asks (the
// windows' and the transmissions' modules sit beside it), else by the system's search for
// libraries. It stays loaded until the program ends.
Result<const void*> programModuleObject(const char* module, const char* entry);

// The object of T's module (T::kModule) and entry (T::kEntry) as the interface T it implements:
// loaded on the first call, from any thread, and kept, as is the reason when it could not be.
template <typename T> const Result<const T*>& programModuleObject() {
    static const Result<const T*> loaded = []() -> Result<const T*> {
        const Result<const void*> object = programModuleObject(T::kModule, T::kEntry);
        if (!object)
            return object.error();
        return static_cast<const T*>(*object);
    }();
    return loaded;
}

} // namespace fiscora
