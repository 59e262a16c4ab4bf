#include "core/ProgramModule.h"

#include <QByteArray>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <dlfcn.h>
#include <link.h>

#include <vector>

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

// The folders the dynamic linker searches for the executable's libraries, its run path included.
// A plain dlopen of a bare name does that too, but not under the sanitizers, whose dlopen searches
// as if called from their own runtime.
QStringList searchFolders() {
    void* self = dlopen(nullptr, RTLD_NOW);
    Dl_serinfo size{};
    if (!self || dlinfo(self, RTLD_DI_SERINFOSIZE, &size) != 0)
        return {};
    std::vector<char> buffer(size.dls_size);
    auto* info = reinterpret_cast<Dl_serinfo*>(buffer.data());
    if (dlinfo(self, RTLD_DI_SERINFOSIZE, info) != 0 || dlinfo(self, RTLD_DI_SERINFO, info) != 0)
        return {};
    QStringList folders;
    for (unsigned i = 0; i < info->dls_cnt; ++i)
        folders.append(QString::fromLocal8Bit(info->dls_serpath[i].dls_name));
    return folders;
}

// Beside this code, else where the linker would look; the bare name when it is in neither.
QByteArray modulePath(const char* module) {
    for (const QString& folder : QStringList{codeFolder()} + searchFolders()) {
        const QString candidate = folder + QLatin1Char('/') + QLatin1String(module);
        if (!folder.isEmpty() && QFileInfo::exists(candidate))
            return candidate.toLocal8Bit();
    }
    return QByteArray(module);
}

} // namespace

Result<const void*> programModuleObject(const char* module, const char* entry) {
    const auto failure = [module](const QString& detail) {
        return AppError{0, QStringLiteral("ProgramModule"),
                        QStringLiteral("A parte %1 do programa não pôde ser carregada: %2")
                            .arg(QLatin1String(module), detail)};
    };
    const QByteArray path = modulePath(module);
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
