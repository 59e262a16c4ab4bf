#pragma once

#include "certificates/Certificate.h"

#include <QString>

#include <optional>

class QWidget;

namespace fiscora {

class CertificateSource;

// The modal certificate selection. Tests install one that picks a certificate or cancels.
class CertificateChooser {
public:
    virtual ~CertificateChooser() = default;

    // The chosen certificate, or nothing when the user cancels (Cancelar, Esc, closing). The
    // certificate with the fingerprint `preferred`, when listed, is selected at the start.
    static std::optional<Certificate> choose(QWidget* parent, const QString& title, const QString& text,
                                             const CertificateSource& source, const QString& preferred = {});
    // Installs an implementation (not owned); nullptr restores the dialog.
    static void install(CertificateChooser* implementation);

protected:
    virtual std::optional<Certificate> select(QWidget* parent, const QString& title, const QString& text,
                                              const CertificateSource& source, const QString& preferred) = 0;
};

} // namespace fiscora
