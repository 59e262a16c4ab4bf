#pragma once

#include <QDateTime>

namespace fiscora {

// The one source of "now", so tests can fix it.
class Clock {
public:
    static QDateTime now();
    static void setFixed(const QDateTime& when); // an invalid value returns to the system clock
};

} // namespace fiscora
