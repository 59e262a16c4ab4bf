// The windows of the program, loaded by fiscora only when no command-line mode is asked for, so
// the command-line modes start without Qt's widget, display and network libraries.

#include "core/MessageBox.h"
#include "core/ProgramFolder.h"
#include "core/Session.h"
#include "data/TransmissionJournal.h"
#include "gui/GuiStartup.h"
#include "gui/QtTranslations.h"
#include "gui/WidgetSeams.h"
#include "gui/WindowPlacement.h"
#include "transmission/ReceiptKeeper.h"
#include "transmission/Services.h"

#include <QApplication>
#include <QFontDatabase>

#include <optional>
#include <thread>

extern "C" __attribute__((visibility("default"))) int fiscora_janelas(int argc, char** argv,
                                                                      std::thread* fontsReading) {
    // Outlives the application object, so no window left open at exit sees it gone.
    fiscora::Session session;
    const fiscora::SystemClock clock;
    // The journal of the program folder's database, once the folder is known.
    std::optional<fiscora::TransmissionJournal> journal;
    QApplication app(argc, argv);
    // The names place the user's program folder and certificate store.
    QApplication::setApplicationName(QStringLiteral("fiscora"));
    QApplication::setOrganizationName(QStringLiteral("Fiscora"));
    fiscora::usePortugueseQtTexts();
    // Qt's font database is filled on a thread of its own once fontconfig's configuration is read,
    // while the first window is built (its first button waits for the accessibility bus).
    const std::jthread fontDatabase([fontsReading] {
        fontsReading->join();
        (void)QFontDatabase::families();
    });

    const fiscora::Result<fiscora::ProgramFolder> folder =
        fiscora::ProgramFolder::initialize(QApplication::arguments());
    // The windows' seams show the failure too: without a folder they have the working one.
    const fiscora::ProgramFolder program = folder.valueOr(fiscora::ProgramFolder(QString()));
    fiscora::WidgetSeams seams(clock, program);
    fiscora::installWindowPlacement();

    if (!folder) {
        seams.seams().messages.show(QStringLiteral("Fiscora"), folder.error().description,
                                    fiscora::MessageIcon::Critical);
        return 1;
    }
    journal.emplace(program.file(QStringLiteral("fiscora.mdb")), clock);
    const fiscora::Services services =
        fiscora::Services::forProgram(seams.seams(), seams.certificates(), *journal);
    // Keeps the receipts of the protocols the lists show, while the windows run.
    fiscora::ReceiptKeeper receipts(services.http, *journal);
    fiscora::MainWindowHost mainWindow(session, services);
    if (!fiscora::openStartupWindow(session, services, mainWindow))
        return 0;
    return QApplication::exec();
}
