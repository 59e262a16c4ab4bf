#pragma once

#include "certificates/Certificate.h"

#include <QString>

#include <optional>

class QWidget;

namespace fiscora {

class CertificateSource;

// The modal certificate selection. Tests have one that picks a certificate or cancels.
class CertificateChooser {
public:
    virtual ~CertificateChooser() = default;

    // The chosen certificate, or nothing when the user cancels (Cancelar, Esc, closing). The
    // certificate with the fingerprint `preferred`, when listed, is selected at the start.
    std::optional<Certificate> choose(QWidget* parent, const QString& title, const QString& text,
                                      const CertificateSource& source, const QString& preferred = {});

protected:
    virtual std::optional<Certificate> select(QWidget* parent, const QString& title, const QString& text,
                                              const CertificateSource& source, const QString& preferred) = 0;
};

// Where there is no window system there is nobody to ask: every choice is cancelled.
class NoCertificateChooser final : public CertificateChooser {
protected:
    std::optional<Certificate> select(QWidget*, const QString&, const QString&, const CertificateSource&,
                                      const QString&) override {
        return std::nullopt;
    }
};

} // namespace fiscora
