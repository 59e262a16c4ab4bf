#include "gui/CertificateSelection.h"

#include "certificates/CertificateChecks.h"
#include "certificates/CertificateChooser.h"
#include "certificates/CertificateExtensions.h"
#include "certificates/CertificateSource.h"
#include "certificates/CertificateTexts.h"
#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "core/UserPreferences.h"
#include "data/AccountantTable.h"

namespace fiscora {

void CertificateSelection::showComponentFailure(MessageBox& messages) {
    messages.show(AppTexts::programTitle, CertificateTexts::componentFailure(), MessageIcon::None,
                  MessageButtons::Ok);
}

void CertificateSelection::distributionPointStep(MessageBox& messages, const Certificate& certificate) {
    const CdpLookup lookup = CertificateExtensions::crlDistributionPoints(certificate.der());
    if (lookup.present && lookup.error != 0)
        messages.show(AppTexts::programTitle, CertificateTexts::cdpFailure(lookup.error), MessageIcon::None,
                      MessageButtons::Ok);
}

CertificateSelection::Outcome CertificateSelection::choose(MessageBox& messages, CertificateChooser& chooser,
                                                           QWidget* owner,
                                                           UserPreferences::CertificateUse use,
                                                           const CertificateSource& from,
                                                           std::optional<Certificate>* chosen) {
    // The store that cannot be opened; the tokens are read inside the chooser, not waited for here.
    if (!from.list()) {
        showComponentFailure(messages);
        return Outcome::Failed;
    }
    const bool key = use != UserPreferences::CertificateUse::Transmission;
    *chosen = chooser.choose(owner, key ? CertificateTexts::keyTitle : CertificateTexts::transmissionTitle,
                             key ? CertificateTexts::keyText : CertificateTexts::transmissionText, from,
                             UserPreferences::certificate(use));
    return *chosen ? Outcome::Accepted : Outcome::Cancelled;
}

CertificateSelection::Outcome CertificateSelection::acceptChosen(MessageBox& messages,
                                                                 UserPreferences::CertificateUse use,
                                                                 const Certificate& certificate) {
    UserPreferences::setCertificate(use, certificate.fingerprint());
    distributionPointStep(messages, certificate);
    return Outcome::Accepted;
}

CertificateSelection::Outcome CertificateSelection::keyVariant(MessageBox& messages,
                                                               CertificateChooser& chooser, QWidget* owner,
                                                               const KeyDocuments& documents,
                                                               std::optional<Certificate>* selected,
                                                               const CertificateSource& source) {
    std::optional<Certificate> chosen;
    const Outcome choice = choose(messages, chooser, owner, documents.use, source, &chosen);
    if (choice != Outcome::Accepted)
        return choice;
    *selected = chosen;

    if (documents.checkContent) {
        const Result<QString> encoded = CertificateChecks::encodedForm(*chosen);
        if (!encoded) {
            showComponentFailure(messages);
            return Outcome::Failed;
        }
        if (!CertificateChecks::containsDocument(*encoded, documents.taxpayerCnpj) &&
            !CertificateChecks::containsDocument(*encoded, documents.accountantDocument)) {
            messages.show(AppTexts::productTitle, CertificateTexts::contentRefused, MessageIcon::Information);
            return Outcome::Refused;
        }
    }
    return acceptChosen(messages, documents.use, *chosen);
}

CertificateSelection::Outcome
CertificateSelection::transmissionVariant(const Seams& seams, CertificateChooser& chooser, QWidget* owner,
                                          const QDateTime& serverDate, std::optional<Certificate>* selected,
                                          bool* accepted, const CertificateSource& source) {
    std::optional<Certificate> chosen;
    const Outcome choice = choose(seams.messages, chooser, owner,
                                  UserPreferences::CertificateUse::Transmission, source, &chosen);
    if (choice == Outcome::Cancelled)
        return choice;
    if (choice == Outcome::Failed) {
        // A failure must never leave an earlier acceptance standing for this attempt.
        *accepted = false;
        return choice;
    }
    *selected = chosen;

    const Result<std::optional<Accountant>> stored = DadosContador(seams.folder);
    const Result<bool> ofAccountant = CertificateChecks::isAccountants(
        *chosen, stored ? stored->value_or(Accountant{}).document() : QString());
    if (!stored || !ofAccountant) {
        *accepted = false;
        showComponentFailure(seams.messages);
        return Outcome::Failed;
    }
    *accepted = true;

    if (!CertificateChecks::notEndedBy(*chosen, serverDate) || !*ofAccountant) {
        seams.messages.show(CertificateTexts::invalidTitle, CertificateTexts::invalidCertificate,
                            MessageIcon::Critical);
        *accepted = false;
        return Outcome::Refused;
    }
    return acceptChosen(seams.messages, UserPreferences::CertificateUse::Transmission, *chosen);
}

} // namespace fiscora
