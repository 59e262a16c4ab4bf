#include "gui/GuiStartup.h"

#include "certificates/CertificateExpiry.h"
#include "certificates/CertificateStore.h"
#include "core/AppTexts.h"
#include "core/Clock.h"
#include "core/MessageBox.h"
#include "core/Platform.h"
#include "core/Session.h"
#include "data/LocalDatabase.h"
#include "data/TransmissionJournal.h"
#include "gui/Abertura.h"
#include "gui/DatabaseErrorBox.h"
#include "gui/Principal.h"
#include "gui/Sobre.h"
#include "transmission/Services.h"
#include "transmission/StartupCheck.h"

#include <QTimer>

namespace fiscora {

MainWindowHost::MainWindowHost(Session& session, const Services& services)
    : m_session(session)
    , m_services(services) {}

void MainWindowHost::show() {
    if (!m_window) {
        m_window = new Principal(m_session, m_services);
        m_window->setAttribute(Qt::WA_DeleteOnClose);
        // Once the window is up, from the event loop rather than the command that opened it.
        QTimer::singleShot(0, m_window, [&services = m_services] {
            reportUnconfirmedTransmissions(services.seams.messages, *services.journal);
            reportExpiringCertificates(services.seams);
        });
    }
    m_window->show();
    m_window->raise();
}

void reportUnconfirmedTransmissions(MessageBox& messages, TransmissionJournal& journal) {
    const Result<QString> report = journal.unconfirmedTransmissionsReport();
    if (!report)
        showDatabaseError(messages, report.error());
    else if (!report->isEmpty())
        messages.show(AppTexts::productTitle, *report, MessageIcon::Warning);
}

void reportExpiringCertificates(const Seams& seams) {
    const QStringList notices = CertificateExpiry::noticesDue(
        CertificateExpiry::lastAccepted(CertificateStore()), seams.clock.now().date());
    if (notices.isEmpty())
        return;
    seams.messages.show(AppTexts::productTitle,
                        notices.join(QLatin1Char('\n')) +
                            QStringLiteral("\n\nRenove o certificado antes do vencimento: com ele vencido o "
                                           "servidor recusa as transmissões."),
                        MessageIcon::Information);
}

Abertura* openStartupWindow(Session& session, const Services& services, MainWindowHost& mainWindow) {
    auto* checks = new StartupCheck(services.http, services.seams);
    if (!checks->administrator()) {
        delete checks;
        services.seams.messages.show(
            QStringLiteral("ICMS"),
            QStringLiteral("Seu usuário não possui privilégios administrativos\r\n\r\n"
                           "Por favor, solicite ao Departamento de Informática permissões. "
                           "A aplicação será encerrada."),
            MessageIcon::Critical);
        return nullptr;
    }
    // The window comes up first and the version check runs behind it (loading the transport
    // takes longer than building the window, and would hold up its libraries), its buttons
    // waiting for the check; the check's messages come over it, and an update started closes it.
    auto* window = new Abertura(services.seams);
    QObject::connect(window, &Abertura::startAsked, window, [&mainWindow] { mainWindow.show(); });
    QObject::connect(window, &Abertura::aboutAsked, window, [&mainWindow] {
        // The about box outlives the start-up window, unloaded by now; the main window it shows is
        // a new one, enabled.
        auto* about = new Sobre;
        QObject::connect(about, &QDialog::finished, about, [&mainWindow] { mainWindow.show(); });
        about->show();
    });
    checks->setParent(window);
    window->setChecking(true);
    window->show();
    checks->whenFinished(
        window, [window, checks, &session, &platform = services.seams.platform](StartupOutcome outcome) {
            session.setVersionConfirmed(checks->versionConfirmed());
            if (outcome == StartupOutcome::Quit) {
                window->close();
                platform.quit();
                return;
            }
            window->setChecking(false);
        });
    QTimer::singleShot(0, checks, &StartupCheck::start);
    return window;
}

} // namespace fiscora
