#include "app/CommandLine.h"
#include "core/ProgramFolder.h"
#include "core/Session.h"
#include "gui/GuiStartup.h"
#include "gui/WidgetSeams.h"

#include <QApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    // The command-line modes open no window and need no display.
    if (fiscora::CommandLine::requested(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("fiscora"));
        fiscora::ProgramFolder::initialize(QCoreApplication::arguments());
        QTextStream out(stdout);
        QTextStream err(stderr);
        return fiscora::CommandLine::run(QCoreApplication::arguments(), out, err);
    }

    // Outlives the application object, so no window left open at exit sees it gone.
    fiscora::Session session;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("fiscora"));
    QApplication::setOrganizationName(QStringLiteral("Fiscora"));
    fiscora::ProgramFolder::initialize(QApplication::arguments());

    fiscora::WidgetSeams seams;

    fiscora::hostMainWindow(session);
    if (!fiscora::openStartupWindow(session))
        return 0;
    return QApplication::exec();
}
