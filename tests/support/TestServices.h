#pragma once

#include "support/ServerLauncher.h"
#include "transmission/Services.h"

namespace fiscora::test {

// The Access reader as the program has it, with the helper the build made.
inline AccessReader builtReader(int timeLimitMs = 0) {
    return AccessReader(builtProgram(QStringLiteral("fiscora-leitor-mdb")), timeLimitMs);
}

// The services as the program builds them, with the build's reader helper: a test changes the
// copy it holds (shorter time limits, another helper).
inline Services testServices() {
    return Services{HttpClient(), builtReader(), TokenReader{TokenReader::defaultHelper()},
                    TransmissionLimits{}};
}

// One set for a whole test program, for windows that only need the usual ones.
inline const Services& sharedServices() {
    static const Services services = testServices();
    return services;
}

} // namespace fiscora::test
