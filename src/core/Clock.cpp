#include "core/Clock.h"

namespace fiscora {

namespace {
QDateTime g_fixed;
}

QDateTime Clock::now() {
    return g_fixed.isValid() ? g_fixed : QDateTime::currentDateTime();
}

void Clock::setFixed(const QDateTime& when) {
    g_fixed = when;
}

} // namespace fiscora
