#include "ui/Platform.h"

#include "app/ProgramFolder.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <unistd.h>

namespace fiscora {

namespace {

class SystemPlatform final : public Platform {
public:
    bool isAdministrator() override {
        if (::geteuid() == 0)
            return true;
        return ::access(QFile::encodeName(ProgramFolder::path()).constData(), W_OK) == 0;
    }

    bool openUrl(const QString& url) override { return QDesktopServices::openUrl(QUrl(url)); }

    bool startDetached(const QString& program) override {
        // A downloaded file arrives without the execute bit.
        QFile::setPermissions(program, QFile::permissions(program) | QFileDevice::ExeOwner |
                                           QFileDevice::ExeGroup | QFileDevice::ExeOther);
        return QProcess::startDetached(program, {}, QFileInfo(program).absolutePath());
    }

    void quit() override { QCoreApplication::exit(0); }
};

SystemPlatform g_system;
Platform* g_current = nullptr;

} // namespace

Platform& Platform::current() {
    return g_current ? *g_current : g_system;
}

void Platform::install(Platform* implementation) {
    g_current = implementation;
}

} // namespace fiscora
