#include "net/NetworkLibrary.h"

#include "core/ProgramModule.h"

namespace fiscora {

const Result<const NetworkLibrary*>& networkLibrary() {
    static const Result<const NetworkLibrary*> loaded =
        programModuleObject<NetworkLibrary>(NetworkLibrary::kModule, "fiscora_rede");
    return loaded;
}

} // namespace fiscora
