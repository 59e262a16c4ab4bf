#include "certificates/CertificateChooser.h"

#include "core/ModalGate.h"

namespace fiscora {

std::optional<Certificate> CertificateChooser::choose(QWidget* parent, const QString& title,
                                                      const QString& text, const CertificateSource& source,
                                                      const QString& preferred) {
    const ModalGate::Box box(m_gate);
    return select(parent, title, text, source, preferred);
}

} // namespace fiscora
