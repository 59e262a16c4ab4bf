#include "certificates/CertificateChooser.h"

namespace fiscora {

namespace {
CertificateChooser* g_current = nullptr;
} // namespace

std::optional<Certificate> CertificateChooser::choose(QWidget* parent, const QString& title,
                                                      const QString& text, const CertificateSource& source) {
    // Without a window system installed there is nobody to ask: the choice is cancelled.
    return g_current ? g_current->select(parent, title, text, source) : std::nullopt;
}

void CertificateChooser::install(CertificateChooser* implementation) {
    g_current = implementation;
}

} // namespace fiscora
