#include "core/ProgramModule.h"

#include <QByteArray>
#include <QFileInfo>
#include <QString>

#include <dlfcn.h>
#include <link.h>

namespace fiscora {

namespace {

// The folder of the file that holds this code: the windows' module, the transmissions', or an
// executable that links the layers itself.
QString codeFolder() {
    Dl_info info{};
    link_map* object = nullptr;
    if (!dladdr1(reinterpret_cast<const void*>(&codeFolder), &info, reinterpret_cast<void**>(&object),
                 RTLD_DL_LINKMAP) ||
        !object)
        return {};
    // The executable's own entry has no name.
    const QString file = object->l_name[0] ? QString::fromLocal8Bit(object->l_name)
                                           : QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return QFileInfo(file).absolutePath();
}

} // namespace

Result<const void*> programModuleObject(const char* module, const char* entry) {
    const auto failure = [module](const QString& detail) {
        return AppError{0, QStringLiteral("ProgramModule"),
                        QStringLiteral("A parte %1 do programa não pôde ser carregada: %2")
                            .arg(QLatin1String(module), detail)};
    };
    const QString beside = codeFolder() + QLatin1Char('/') + QLatin1String(module);
    const QByteArray path = QFileInfo::exists(beside) ? beside.toLocal8Bit() : QByteArray(module);
    void* handle = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return failure(QString::fromLocal8Bit(dlerror()));
    using Entry = const void* (*)();
    const auto function = reinterpret_cast<Entry>(dlsym(handle, entry));
    if (!function)
        return failure(QStringLiteral("falta a função %1").arg(QLatin1String(entry)));
    const void* object = function();
    if (!object)
        return failure(QStringLiteral("ela não pôde ser iniciada"));
    return object;
}

} // namespace fiscora
