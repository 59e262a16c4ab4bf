#pragma once

#include "certificates/Certificate.h"

#include <QString>

#include <optional>

class QWidget;

namespace fiscora {

class CertificateSource;
class ModalGate;

// The modal certificate selection. Tests have one that picks a certificate or cancels.
class CertificateChooser {
public:
    // The window up holds back the outcomes of `gate`.
    explicit CertificateChooser(ModalGate& gate)
        : m_gate(gate) {}
    virtual ~CertificateChooser() = default;
    CertificateChooser(const CertificateChooser&) = delete;
    CertificateChooser& operator=(const CertificateChooser&) = delete;

    // The chosen certificate, or nothing when the user cancels (Cancelar, Esc, closing). The
    // certificate with the fingerprint `preferred`, when listed, is selected at the start.
    std::optional<Certificate> choose(QWidget* parent, const QString& title, const QString& text,
                                      const CertificateSource& source, const QString& preferred = {});

protected:
    virtual std::optional<Certificate> select(QWidget* parent, const QString& title, const QString& text,
                                              const CertificateSource& source, const QString& preferred) = 0;

private:
    ModalGate& m_gate;
};

// Where there is no window system there is nobody to ask: every choice is cancelled.
class NoCertificateChooser final : public CertificateChooser {
public:
    using CertificateChooser::CertificateChooser;

protected:
    std::optional<Certificate> select(QWidget*, const QString&, const QString&, const CertificateSource&,
                                      const QString&) override {
        return std::nullopt;
    }
};

} // namespace fiscora
