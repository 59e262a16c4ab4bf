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

int startModule(const char* name, const char* entryName, const char* what, int argc, char** argv) {
    const std::filesystem::path module = modulePath(name);
    void* handle = dlopen(module.c_str(), RTLD_LAZY | RTLD_LOCAL);
    using Entry = int (*)(int, char**);
    const auto entry = handle ? reinterpret_cast<Entry>(dlsym(handle, entryName)) : nullptr;
    if (!entry) {
        std::fprintf(stderr, "Fiscora: %s (%s) não puderam ser carregadas: %s\n", what, module.c_str(),
                     dlerror());
        return 1;
    }
    return entry(argc, argv);
}

} // namespace

int main(int argc, char** argv) {
    // The command-line modes open no window and need no display; this executable holds only
    // them and Qt Core, and loads the windows, or the network and certificates a transmission
    // needs, on demand.
    switch (fiscora::CommandLine::requested(argc, argv)) {
    case fiscora::CommandRequest::Windows:
        return startModule("fiscora-janelas.so", "fiscora_janelas", "as janelas do programa", argc, argv);
    case fiscora::CommandRequest::Transmit:
        return startModule("fiscora-lote.so", "fiscora_lote", "as partes de transmissão do programa", argc,
                           argv);
    default:
        break;
    }

    QCoreApplication app(argc, argv);
    fiscora::CommandLine::nameApplication();
    QTextStream out(stdout);
    QTextStream err(stderr);
    return fiscora::CommandLine::run(QCoreApplication::arguments(), out, err);
}
