// The transmissions of the command line, loaded by fiscora only for --transmitir, so the other
// command-line modes start without the network and certificate libraries.

#include "app/CommandLine.h"
#include "app/TransmitCommand.h"
#include "data/TransmissionJournal.h"
#include "transmission/Services.h"

#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

extern "C" __attribute__((visibility("default"))) int fiscora_lote(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    fiscora::CommandLine::nameApplication();
    QTextStream out(stdout);
    QTextStream err(stderr);
    const fiscora::CommandRequest request = fiscora::CommandLine::parse(QCoreApplication::arguments());
    if (request.kind != fiscora::CommandRequest::Transmit)
        return fiscora::CommandLine::usage(request.problem, err);
    const fiscora::Result<fiscora::ProgramFolder> folder =
        fiscora::CommandLine::useProgramFolder(QCoreApplication::arguments(), err);
    if (!folder)
        return 1;
    const fiscora::SystemClock clock;
    fiscora::SystemPlatform platform(folder->path());
    fiscora::ModalGate gate;
    fiscora::NoFileChooser files(gate);
    fiscora::ConsoleMessageBox messages(gate);
    const fiscora::Seams seams{clock, platform, files, messages, *folder, gate};
    fiscora::TransmissionJournal journal(folder->file(QStringLiteral("fiscora.mdb")), clock);
    fiscora::NoCertificateChooser certificates(gate);
    const fiscora::Services services = fiscora::Services::forProgram(seams, certificates, journal);
    QTimer::singleShot(0, &app, [&services, &request, &out, &err] {
        fiscora::TransmitCommand::run(services, request, out, err,
                                      [](int code) { QCoreApplication::exit(code); });
    });
    return QCoreApplication::exec();
}
