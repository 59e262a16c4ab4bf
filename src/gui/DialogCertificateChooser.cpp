#include "gui/DialogCertificateChooser.h"

#include "gui/CertificateDialog.h"

namespace fiscora {

std::optional<Certificate> DialogCertificateChooser::select(QWidget* parent, const QString& title,
                                                            const QString& text,
                                                            const CertificateSource& source,
                                                            const QString& preferred) {
    CertificateDialog dialog(source, m_seams, parent);
    dialog.setWindowTitle(title);
    dialog.setText(text);
    dialog.preselect(preferred);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedCertificate().isNull())
        return std::nullopt;
    return dialog.selectedCertificate();
}

} // namespace fiscora
