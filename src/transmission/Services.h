#pragma once

#include "certificates/CertificateChooser.h"
#include "certificates/Pkcs11CertificateSource.h"
#include "core/Seams.h"
#include "data/AccessReader.h"
#include "data/TransmissionJournal.h"
#include "net/HttpClient.h"
#include "transmission/Transmission.h"

namespace fiscora {

// What the parts of the program share, built once where the program starts (the windows, the
// command line's transmissions) and handed down to what needs it; tests build their own.
struct Services {
    Seams seams;                      // the user's and the system's side
    CertificateChooser& certificates; // the certificate window
    HttpClient http;                  // the server calls, with their time limits
    AccessReader reader;              // the Access reader helper, with its time limit
    TokenReader tokens;               // the token reader helper, with its time limit
    TransmissionLimits transmission;  // the uploads' time limits
    // The journal of the program folder's database; not owned (it keeps a connection, so it is
    // not copied with the services): whoever builds the services keeps it while they are used.
    TransmissionJournal* journal = nullptr;

    // The helpers beside the executable of the seams' folder (or the installed ones), the usual
    // limits, the given seams, certificate window and journal.
    static Services forProgram(const Seams& seams, CertificateChooser& certificates,
                               TransmissionJournal& journal) {
        return Services{seams,
                        certificates,
                        HttpClient(seams.folder, seams.gate),
                        AccessReader(AccessReader::defaultHelper(seams.folder), seams.gate),
                        TokenReader{TokenReader::defaultHelper(seams.folder),
                                    TokenReader::kDefaultTimeLimitMs, &seams.folder},
                        TransmissionLimits{},
                        &journal};
    }
};

} // namespace fiscora
