#pragma once

#include "core/Result.h"

namespace fiscora {

// The object that one of the program's own modules hands out from its entry function,
// `extern "C" const void* entry()`. The module is looked for beside the code that asks (the
// windows' and the transmissions' modules sit beside it), else by the system's search for
// libraries. It stays loaded until the program ends.
Result<const void*> programModuleObject(const char* module, const char* entry);

// The same object as the interface it implements.
template <typename T> Result<const T*> programModuleObject(const char* module, const char* entry) {
    const Result<const void*> object = programModuleObject(module, entry);
    if (!object)
        return object.error();
    return static_cast<const T*>(*object);
}

} // namespace fiscora
