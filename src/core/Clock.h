#pragma once

#include <QDateTime>

namespace fiscora {

// The one source of "now": the program has the system's, a test one it fixes.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override;
};

} // namespace fiscora
