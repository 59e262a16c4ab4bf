#include "net/NetworkLibrary.h"

#include "core/ProgramModule.h"

namespace fiscora {

const Result<const NetworkLibrary*>& networkLibrary() {
    static const Result<const NetworkLibrary*> loaded = []() -> Result<const NetworkLibrary*> {
        const Result<const void*> object = programModuleObject(NetworkLibrary::kModule, "fiscora_rede");
        if (!object)
            return object.error();
        return static_cast<const NetworkLibrary*>(*object);
    }();
    return loaded;
}

} // namespace fiscora
