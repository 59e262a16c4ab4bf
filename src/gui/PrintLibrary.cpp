#include "gui/PrintLibrary.h"

#include "core/ProgramModule.h"
#include "data/DocumentLibrary.h"

namespace fiscora {

const Result<const PrintLibrary*>& printLibrary() {
    static const Result<const PrintLibrary*> loaded = []() -> Result<const PrintLibrary*> {
        const Result<const void*> object =
            programModuleObject(DocumentLibrary::kModule, "fiscora_documentos_impressao");
        if (!object)
            return object.error();
        return static_cast<const PrintLibrary*>(*object);
    }();
    return loaded;
}

} // namespace fiscora
