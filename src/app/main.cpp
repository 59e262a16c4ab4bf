#include "app/CommandLine.h"

#include <QCoreApplication>
#include <QTextStream>

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>

#ifndef FISCORA_HELPERS_RELDIR
#define FISCORA_HELPERS_RELDIR "../libexec/fiscora"
#endif

namespace {

constexpr const char* kWindows = "fiscora-janelas.so";

// The windows' module: beside the executable in a build folder, else in the installed helpers'.
std::filesystem::path windowsModule() {
    std::error_code error;
    const std::filesystem::path bin = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    const std::filesystem::path beside = bin / kWindows;
    if (std::filesystem::exists(beside, error))
        return beside;
    return (bin / FISCORA_HELPERS_RELDIR / kWindows).lexically_normal();
}

int startWindows(int argc, char** argv) {
    const std::filesystem::path module = windowsModule();
    void* handle = dlopen(module.c_str(), RTLD_LAZY | RTLD_LOCAL);
    using Entry = int (*)(int, char**);
    const auto entry = handle ? reinterpret_cast<Entry>(dlsym(handle, "fiscora_janelas")) : nullptr;
    if (!entry) {
        std::fprintf(stderr, "Fiscora: as janelas do programa (%s) não puderam ser carregadas: %s\n",
                     module.c_str(), dlerror());
        return 1;
    }
    return entry(argc, argv);
}

} // namespace

int main(int argc, char** argv) {
    // The command-line modes open no window and need no display; this executable holds only
    // them and Qt Core, and loads the windows on demand.
    if (fiscora::CommandLine::windowsRequested(argc, argv))
        return startWindows(argc, argv);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fiscora"));
    QCoreApplication::setOrganizationName(QStringLiteral("Fiscora"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    return fiscora::CommandLine::run(QCoreApplication::arguments(), out, err);
}
