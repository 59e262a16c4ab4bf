#include "certificates/CertificateLibrary.h"

#include "core/ProgramModule.h"
#include "net/NetworkLibrary.h"

namespace fiscora {

const Result<const CertificateLibrary*>& certificateLibrary() {
    static const Result<const CertificateLibrary*> loaded =
        programModuleObject<CertificateLibrary>(NetworkLibrary::kModule, "fiscora_rede_certificados");
    return loaded;
}

} // namespace fiscora
