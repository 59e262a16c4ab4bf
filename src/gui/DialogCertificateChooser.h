#pragma once

#include "certificates/CertificateChooser.h"
#include "core/Seams.h"

namespace fiscora {

// The certificate window (CertificateDialog), modal over its parent.
class DialogCertificateChooser final : public CertificateChooser {
public:
    explicit DialogCertificateChooser(const Seams& seams)
        : CertificateChooser(seams.gate)
        , m_seams(seams) {}

protected:
    std::optional<Certificate> select(QWidget* parent, const QString& title, const QString& text,
                                      const CertificateSource& source, const QString& preferred) override;

private:
    const Seams m_seams;
};

} // namespace fiscora
