#include "gui/PrintLibrary.h"

#include "core/ProgramModule.h"
#include "data/DocumentLibrary.h"

namespace fiscora {

const Result<const PrintLibrary*>& printLibrary() {
    static const Result<const PrintLibrary*> loaded =
        programModuleObject<PrintLibrary>(DocumentLibrary::kModule, "fiscora_documentos_impressao");
    return loaded;
}

} // namespace fiscora
