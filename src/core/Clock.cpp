#include "core/Clock.h"

namespace fiscora {

QDateTime SystemClock::now() const {
    return QDateTime::currentDateTime();
}

} // namespace fiscora
