#include "data/DocumentLibrary.h"

#include "core/ProgramModule.h"

namespace fiscora {

const Result<const DocumentLibrary*>& documentLibrary() {
    static const Result<const DocumentLibrary*> loaded = []() -> Result<const DocumentLibrary*> {
        const Result<const void*> object =
            programModuleObject(DocumentLibrary::kModule, "fiscora_documentos_pdf");
        if (!object)
            return object.error();
        return static_cast<const DocumentLibrary*>(*object);
    }();
    return loaded;
}

} // namespace fiscora
