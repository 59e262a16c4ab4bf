#pragma once

namespace fiscora {

struct Services;

class Abertura;
class MessageBox;
struct Seams;
class Session;
class TransmissionJournal;

// Shows the main window whenever the session asks for it, creating it on first use; once it
// is up the first time, reports the unconfirmed transmissions and the certificates about to expire.
void hostMainWindow(Session& session, const Services& services);

// A box listing the uploads the journal has no confirmed outcome for (taxpayer, date, what),
// when there are any; a database failure in the one report format.
void reportUnconfirmedTransmissions(MessageBox& messages, TransmissionJournal& journal);

// A box naming the certificates last accepted (the accountant's, a company's) that expire within
// a month, once a day.
void reportExpiringCertificates(const Seams& seams);

// Runs the start-up window's load and, unless it ends the program, shows the window.
// Returns the window shown, or nullptr when the program must end.
Abertura* openStartupWindow(Session& session, const Services& services);

} // namespace fiscora
