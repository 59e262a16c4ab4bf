#pragma once

#include <QPointer>

namespace fiscora {

struct Services;

class Abertura;
class MessageBox;
class Principal;
struct Seams;
class Session;
class TransmissionJournal;

// The main window, created when it is first shown; once it is up the first time, the unconfirmed
// transmissions and the certificates about to expire are reported.
class MainWindowHost final {
public:
    MainWindowHost(Session& session, const Services& services);
    MainWindowHost(const MainWindowHost&) = delete;
    MainWindowHost& operator=(const MainWindowHost&) = delete;

    // Shows the main window, raised; created on first use.
    void show();

private:
    Session& m_session;
    const Services& m_services;
    QPointer<Principal> m_window;
};

// A box listing the uploads the journal has no confirmed outcome for (taxpayer, date, what),
// when there are any; a database failure in the one report format.
void reportUnconfirmedTransmissions(MessageBox& messages, TransmissionJournal& journal);

// A box naming the certificates last accepted (the accountant's, a company's) that expire within
// a month, once a day.
void reportExpiringCertificates(const Seams& seams);

// Runs the start-up window's load and, unless it ends the program, shows the window; its
// "Iniciar", and the about box it opens once closed, show the main window.
// Returns the window shown, or nullptr when the program must end.
Abertura* openStartupWindow(Session& session, const Services& services, MainWindowHost& mainWindow);

} // namespace fiscora
