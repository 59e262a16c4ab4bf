#include "certificates/CertificateChooser.h"

#include "certificates/CertificateDialog.h"

namespace fiscora {

namespace {

class DialogCertificateChooser final : public CertificateChooser {
protected:
    std::optional<Certificate> select(QWidget* parent, const QString& title, const QString& text,
                                      const CertificateSource& source) override {
        CertificateDialog dialog(source, parent);
        dialog.setWindowTitle(title);
        dialog.setText(text);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedCertificate().isNull())
            return std::nullopt;
        return dialog.selectedCertificate();
    }
};

DialogCertificateChooser g_dialog;
CertificateChooser* g_current = nullptr;

} // namespace

std::optional<Certificate> CertificateChooser::choose(QWidget* parent, const QString& title,
                                                      const QString& text, const CertificateSource& source) {
    CertificateChooser* chooser = g_current ? g_current : &g_dialog;
    return chooser->select(parent, title, text, source);
}

void CertificateChooser::install(CertificateChooser* implementation) {
    g_current = implementation;
}

} // namespace fiscora
