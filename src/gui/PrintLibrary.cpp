#include "gui/PrintLibrary.h"

#include "core/ProgramModule.h"

namespace fiscora {

const Result<const PrintLibrary*>& printLibrary() {
    static const Result<const PrintLibrary*> loaded =
        programModuleObject<PrintLibrary>(PrintLibrary::kModule, "fiscora_impressao");
    return loaded;
}

} // namespace fiscora
