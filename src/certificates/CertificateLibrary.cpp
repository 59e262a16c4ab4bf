#include "certificates/CertificateLibrary.h"

#include "core/ProgramModule.h"
#include "net/NetworkLibrary.h"

namespace fiscora {

const Result<const CertificateLibrary*>& certificateLibrary() {
    static const Result<const CertificateLibrary*> loaded = []() -> Result<const CertificateLibrary*> {
        const Result<const void*> object =
            programModuleObject(NetworkLibrary::kModule, "fiscora_rede_certificados");
        if (!object)
            return object.error();
        return static_cast<const CertificateLibrary*>(*object);
    }();
    return loaded;
}

} // namespace fiscora
