#pragma once

#include "certificates/CertificateChooser.h"

namespace fiscora {

// The certificate window (CertificateDialog), modal over its parent.
class DialogCertificateChooser final : public CertificateChooser {
protected:
    std::optional<Certificate> select(QWidget* parent, const QString& title, const QString& text,
                                      const CertificateSource& source, const QString& preferred) override;
};

} // namespace fiscora
