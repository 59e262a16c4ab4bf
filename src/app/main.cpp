#include "app/GuiStartup.h"
#include "app/ProgramFolder.h"
#include "ui/WidgetMessageBox.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("fiscora"));
    QApplication::setOrganizationName(QStringLiteral("Fiscora"));
    fiscora::ProgramFolder::initialize(QApplication::arguments());

    fiscora::WidgetMessageBox messageBox;
    fiscora::MessageBox::install(&messageBox);

    if (!fiscora::openStartupWindow())
        return 0;
    return QApplication::exec();
}
