#include "app/CommandLine.h"

#include <QCoreApplication>
#include <QTextStream>

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <thread>

#ifndef FISCORA_HELPERS_RELDIR
#define FISCORA_HELPERS_RELDIR "../libexec/fiscora"
#endif

namespace {

// A module of the program: beside the executable in a build folder, else in the installed
// helpers'.
std::filesystem::path modulePath(const char* name) {
    std::error_code error;
    const std::filesystem::path bin = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    const std::filesystem::path beside = bin / name;
    if (std::filesystem::exists(beside, error))
        return beside;
    return (bin / FISCORA_HELPERS_RELDIR / name).lexically_normal();
}

// The entry of a module, or null after saying why it could not be loaded.
template <typename Entry> Entry moduleEntry(const char* name, const char* entryName, const char* what) {
    const std::filesystem::path module = modulePath(name);
    void* handle = dlopen(module.c_str(), RTLD_LAZY | RTLD_LOCAL);
    const auto entry = handle ? reinterpret_cast<Entry>(dlsym(handle, entryName)) : nullptr;
    if (!entry)
        std::fprintf(stderr, "Fiscora: %s (%s) não puderam ser carregadas: %s\n", what, module.c_str(),
                     dlerror());
    return entry;
}

// Fontconfig reads its whole configuration on first use, some milliseconds that the first window
// would wait for before it can be laid out; a thread reads it while the windows' libraries load
// and the display is set up, and the windows' font database waits for that thread.
void readFontConfiguration() {
    void* library = dlopen("libfontconfig.so.1", RTLD_LAZY | RTLD_LOCAL);
    using Init = int (*)();
    if (const auto init = library ? reinterpret_cast<Init>(dlsym(library, "FcInit")) : nullptr)
        init();
}

int startWindows(int argc, char** argv) {
    std::thread fonts(readFontConfiguration);
    const auto entry = moduleEntry<int (*)(int, char**, std::thread*)>(
        "fiscora-janelas.so", "fiscora_janelas", "as janelas do programa");
    const int status = entry ? entry(argc, argv, &fonts) : 1;
    if (fonts.joinable())
        fonts.join();
    return status;
}

} // namespace

int main(int argc, char** argv) {
    // The command-line modes open no window and need no display; this executable holds only
    // them and Qt Core, and loads the windows, or the network and certificates a transmission
    // needs, on demand.
    switch (fiscora::CommandLine::requested(argc, argv)) {
    case fiscora::CommandRequest::Windows:
        return startWindows(argc, argv);
    case fiscora::CommandRequest::Transmit: {
        const auto entry = moduleEntry<int (*)(int, char**)>("fiscora-lote.so", "fiscora_lote",
                                                             "as partes de transmissão do programa");
        return entry ? entry(argc, argv) : 1;
    }
    default:
        break;
    }

    QCoreApplication app(argc, argv);
    fiscora::CommandLine::nameApplication();
    QTextStream out(stdout);
    QTextStream err(stderr);
    return fiscora::CommandLine::run(QCoreApplication::arguments(), out, err);
}
