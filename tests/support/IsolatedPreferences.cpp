// Linked into every test program: the user's preferences go to a temporary folder of the
// program's own, so no test reads or writes the real user's, and the programs a test starts
// inherit the folder.
#include <QByteArray>
#include <QTemporaryDir>

namespace {

struct IsolatedPreferences {
    QTemporaryDir folder;
    IsolatedPreferences() {
        qputenv("FISCORA_PREFERENCIAS",
                folder.isValid() ? folder.path().toUtf8() : QByteArrayLiteral("/nonexistent/preferencias"));
    }
};

const IsolatedPreferences g_isolated;

} // namespace
