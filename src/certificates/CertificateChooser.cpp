#include "certificates/CertificateChooser.h"

#include "core/ModalGate.h"

namespace fiscora {

namespace {
CertificateChooser* g_current = nullptr;
} // namespace

std::optional<Certificate> CertificateChooser::choose(QWidget* parent, const QString& title,
                                                      const QString& text, const CertificateSource& source,
                                                      const QString& preferred) {
    // Without a window system installed there is nobody to ask: the choice is cancelled.
    if (!g_current)
        return std::nullopt;
    const ModalGate gate;
    return g_current->select(parent, title, text, source, preferred);
}

void CertificateChooser::install(CertificateChooser* implementation) {
    g_current = implementation;
}

} // namespace fiscora
