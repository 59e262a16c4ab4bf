#pragma once

#include "certificates/Certificate.h"
#include "core/Seams.h"
#include "core/UserPreferences.h"

#include <QDateTime>
#include <QString>

#include <optional>

class QWidget;

namespace fiscora {

class CertificateChooser;
class MessageBox;
class CertificateSource;

// SelecionarCertificado: the choice of a certificate from the user's store and its checks, one
// implementation for the key windows and the upload windows. Every failure inside ends in the
// component-failure message; the window stays open. The chooser starts on the certificate last
// accepted for the same use, in this run or an earlier one.
class CertificateSelection {
public:
    enum class Outcome { Accepted, Cancelled, Refused, Failed };

    // What the key variant compares the certificate with (digits only), and whose remembered
    // certificate it starts on: the company import takes one certificate for all its companies,
    // which is not the one last taken for a single company's key.
    struct KeyDocuments {
        bool checkContent = true;
        QString taxpayerCnpj;
        QString accountantDocument;
        UserPreferences::CertificateUse use = UserPreferences::CertificateUse::Key;
    };

    // Key variant: the caller has read the accountant row and checked its fields. The chosen
    // certificate goes to *selected (also when refused); the date check belongs to the key request.
    static Outcome keyVariant(MessageBox& messages, CertificateChooser& chooser, QWidget* owner,
                              const KeyDocuments& documents, std::optional<Certificate>* selected,
                              const CertificateSource& source);

    // Transmission variant: reads the accountant row of the folder after the choice, then checks that the
    // certificate carries the accountant's document and that serverDate (the main window's
    // DataServidor) is not after its end. *accepted is set for an accepted certificate and cleared
    // by a refusal or a failure; a cancelled choice leaves it as it was.
    static Outcome transmissionVariant(const Seams& seams, CertificateChooser& chooser, QWidget* owner,
                                       const QDateTime& serverDate, std::optional<Certificate>* selected,
                                       bool* accepted, const CertificateSource& source);

    // The component-failure message box.
    static void showComponentFailure(MessageBox& messages);
    // The distribution point step: when the certificate has the extension, its addresses are
    // looked up; a failed lookup is reported and the caller goes on.
    static void distributionPointStep(MessageBox& messages, const Certificate& certificate);

private:
    // Opens the store and shows the chooser. Failed when the store cannot be read.
    static Outcome choose(MessageBox& messages, CertificateChooser& chooser, QWidget* owner,
                          UserPreferences::CertificateUse use, const CertificateSource& source,
                          std::optional<Certificate>* chosen);
    // The certificate passed the checks: remembered for its use, then the distribution point step.
    static Outcome acceptChosen(MessageBox& messages, UserPreferences::CertificateUse use,
                                const Certificate& certificate);
};

} // namespace fiscora
