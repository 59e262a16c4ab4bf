#pragma once

#include "core/Seams.h"

#include <QDateTime>

namespace fiscora::test {

// The system's time until the test fixes it; an invalid value returns to the system's time.
class TestClock final : public Clock {
public:
    QDateTime now() const override { return m_fixed.isValid() ? m_fixed : QDateTime::currentDateTime(); }
    void fix(const QDateTime& when) { m_fixed = when; }

private:
    QDateTime m_fixed;
};

// The seams of a test program's windows and flows.
class TestSeams {
public:
    TestSeams() = default;
    TestSeams(const TestSeams&) = delete;
    TestSeams& operator=(const TestSeams&) = delete;

    const Seams& operator()() const { return m_seams; }

    TestClock clock;

private:
    Seams m_seams{clock};
};

// One set for a whole test program: what its services and journals are built with.
inline TestSeams& sharedSeams() {
    static TestSeams seams;
    return seams;
}

} // namespace fiscora::test
