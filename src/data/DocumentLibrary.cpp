#include "data/DocumentLibrary.h"

#include "core/ProgramModule.h"

namespace fiscora {

const Result<const DocumentLibrary*>& documentLibrary() {
    static const Result<const DocumentLibrary*> loaded =
        programModuleObject<DocumentLibrary>(DocumentLibrary::kModule, "fiscora_documentos_pdf");
    return loaded;
}

} // namespace fiscora
