#pragma once

#include "certificates/Certificate.h"
#include "certificates/CertificateSource.h"

#include <QDate>
#include <QList>
#include <QStringList>

namespace fiscora {

// Certificates about to expire, named once a day (at start and in the month view, never on
// every send). An A1 certificate lasts a year: a month ahead leaves time to buy the next one.
class CertificateExpiry final {
public:
    static constexpr int kDaysAhead = 30;

    // Of the certificates, those that expire within kDaysAhead days of `today` or have expired
    // already (the next send would be refused), each once, the soonest first:
    // "O certificado de <holder> vence em dd/MM/yyyy." or "... venceu em dd/MM/yyyy.". Dates are
    // the local calendar's.
    static QStringList notices(const QList<Certificate>& certificates, const QDate& today);

    // notices(), unless they were given already on `today` (a user preference keeps the day);
    // when there are any, `today` is kept as the day they were given.
    static QStringList noticesDue(const QList<Certificate>& certificates, const QDate& today);

    // The certificates of `source` last accepted for a use (UserPreferences): the accountant's for
    // the transmissions and the import, the company's for its key. Empty when the source cannot
    // be read.
    static QList<Certificate> lastAccepted(const CertificateSource& source);
};

} // namespace fiscora
