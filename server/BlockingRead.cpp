#include "BlockingRead.h"

#include "core/ModalGate.h"

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

// The reader helper beside this server, as the program finds its own. The server has no boxes:
// the gate lets every outcome through.
AccessReader besideServer(fiscora::ModalGate& gate) {
    return AccessReader(
        AccessReader::defaultHelper(fiscora::ProgramFolder(QCoreApplication::applicationDirPath())), gate);
}

} // namespace

AccessReader::Reading readAccess(const QString& path, const QStringList& rowsOf) {
    fiscora::ModalGate gate;
    return runHere<AccessReader::Reading>([&](QObject* context, AccessReader::Handler done) {
        besideServer(gate).read(path, rowsOf, context, std::move(done));
    });
}

GiaDatabaseReader::Records readGias(const QString& path) {
    fiscora::ModalGate gate;
    return runHere<GiaDatabaseReader::Records>(
        [&](QObject* context, std::function<void(GiaDatabaseReader::Records)> done) {
            GiaDatabaseReader::readExport(
                besideServer(gate), path, context,
                [done = std::move(done)](GiaDatabaseReader::Records records,
                                         const GiaDatabaseReader::Taxpayers&) { done(std::move(records)); });
        });
}

} // namespace servidor
