#pragma once

#include <QByteArray>
#include <QString>

namespace fiscora::test {

// Gives an environment variable the program reads a value for as long as the object lives, then
// puts back what was there.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const QString& value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_before(qgetenv(name)) {
        qputenv(name, value.toUtf8());
    }
    ~ScopedEnvironment() {
        if (m_had)
            qputenv(m_name, m_before);
        else
            qunsetenv(m_name);
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_before;
};

} // namespace fiscora::test
