#pragma once

#include "support/JournalRows.h"
#include "support/ServerLauncher.h"
#include "support/TestSeams.h"
#include "transmission/Services.h"

namespace fiscora::test {

// The Access reader as the program has it, with the helper the build made.
inline AccessReader builtReader(int timeLimitMs = 0) {
    return AccessReader(builtProgram(QStringLiteral("fiscora-leitor-mdb")), sharedSeams().gate, timeLimitMs);
}

// The services as the program builds them, with the build's reader helper: a test changes the
// copy it holds (shorter time limits, another helper).
inline Services testServices() {
    return Services{sharedSeams()(),
                    sharedSeams().certificates,
                    HttpClient(fiscora::test::sharedSeams().folder, fiscora::test::sharedSeams().gate),
                    builtReader(),
                    TokenReader{TokenReader::defaultHelper(sharedSeams().folder),
                                TokenReader::kDefaultTimeLimitMs, &sharedSeams().folder},
                    TransmissionLimits{}};
}

// One set for a whole test program, for windows that only need the usual ones (no journal).
inline const Services& sharedServices() {
    static const Services services = testServices();
    return services;
}

// The services of a test's windows with the journal of the current program folder, as the
// program's entry builds them; reset() closes the journal (after the windows that use it are gone).
class FolderServices {
public:
    const Services& operator()() {
        m_services.journal = &m_journal();
        return m_services;
    }
    TransmissionJournal& journal() { return m_journal(); }
    void reset() { m_journal.reset(); }

private:
    FolderJournal m_journal;
    Services m_services = testServices();
};

} // namespace fiscora::test
