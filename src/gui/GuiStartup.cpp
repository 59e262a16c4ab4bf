#include "gui/GuiStartup.h"

#include "core/AppTexts.h"
#include "core/MessageBox.h"
#include "core/Session.h"
#include "data/LocalDatabase.h"
#include "data/TransmissionJournal.h"
#include "gui/Abertura.h"
#include "gui/Principal.h"
#include "gui/VersionCheck.h"

#include <QPointer>
#include <QTimer>

#include <memory>

namespace fiscora {

void hostMainWindow(Session& session) {
    auto main = std::make_shared<QPointer<Principal>>();
    QObject::connect(&session, &Session::mainWindowRequested, &session, [&session, main] {
        if (!*main) {
            *main = new Principal(session);
            (*main)->setAttribute(Qt::WA_DeleteOnClose);
            // Once the window is up, from the event loop rather than the command that opened it.
            QTimer::singleShot(0, *main, &reportUnconfirmedTransmissions);
        }
        (*main)->show();
        (*main)->raise();
    });
}

void reportUnconfirmedTransmissions() {
    JournalFilter filter;
    filter.unconfirmedOnly = true;
    const Result<QList<JournalEntry>> found = findTransmissions(filter);
    if (!found) {
        showDatabaseError(found.error());
        return;
    }
    if (found->isEmpty())
        return;
    constexpr int kShown = 10;
    QStringList lines;
    for (const JournalEntry& e : *found) {
        if (lines.size() == kShown) {
            lines.append(QStringLiteral("… e mais %1.").arg(found->size() - kShown));
            break;
        }
        const QString what = e.kind == TransmissionKind::Gia ? e.references() : e.fileName;
        lines.append(QStringLiteral("• %1 - %2: %3 %4, %5 (%6)")
                         .arg(e.ie, e.razaoSocial.trimmed(), kindText(e.kind), what,
                              e.localTime.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")),
                              outcomeText(e.outcome)));
    }
    MessageBox::show(
        AppTexts::productTitle,
        unconfirmedCountText(found->size()) +
            QStringLiteral(": não se sabe se chegaram ao servidor. Confira a lista de transmissões do "
                           "contribuinte antes de enviar de novo; os detalhes estão em Contribuinte > "
                           "Envios realizados.\n\n") +
            lines.join(QLatin1Char('\n')),
        MessageIcon::Warning);
}

Abertura* openStartupWindow(Session& session) {
    // The window is built while the server answers the version check, and shown only when the
    // checks let the program go on, after any message of theirs.
    StartupChecks checks;
    auto window = std::make_unique<Abertura>(session);
    if (checks.finish() == StartupOutcome::Quit)
        return nullptr;
    window->show();
    return window.release();
}

} // namespace fiscora
