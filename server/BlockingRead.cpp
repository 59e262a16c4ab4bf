#include "BlockingRead.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>

#include <functional>
#include <optional>
#include <utility>

namespace servidor {

namespace {

using fiscora::AccessReader;
using fiscora::GiaDatabaseReader;

// Starts the job with a context of this thread and runs a local loop until it reports; the
// reader's own time limit bounds the wait.
template <typename T> T runHere(const std::function<void(QObject*, std::function<void(T)>)>& start) {
    std::optional<T> value;
    QEventLoop loop;
    QObject context;
    start(&context, [&](T got) {
        value = std::move(got);
        loop.quit();
    });
    if (!value)
        loop.exec();
    // The job deletes itself later; this thread's loop may not run again.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return std::move(*value);
}

// The reader helper beside this server, as the program finds its own.
AccessReader besideServer() {
    return AccessReader(
        AccessReader::defaultHelper(fiscora::ProgramFolder(QCoreApplication::applicationDirPath())));
}

} // namespace

AccessReader::Reading readAccess(const QString& path, const QStringList& rowsOf) {
    return runHere<AccessReader::Reading>([&](QObject* context, AccessReader::Handler done) {
        besideServer().read(path, rowsOf, context, std::move(done));
    });
}

GiaDatabaseReader::Records readGias(const QString& path) {
    return runHere<GiaDatabaseReader::Records>(
        [&](QObject* context, std::function<void(GiaDatabaseReader::Records)> done) {
            GiaDatabaseReader::readExport(
                besideServer(), path, context,
                [done = std::move(done)](GiaDatabaseReader::Records records,
                                         const GiaDatabaseReader::Taxpayers&) { done(std::move(records)); });
        });
}

} // namespace servidor
