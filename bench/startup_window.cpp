// Process start to the start-up window on the screen: fiscora (its version check answered by the
// stand-in server over loopback) beside a minimal Qt Widgets program showing one window. Runs on
// an X display (Xvfb) and times from starting the process to the X server mapping its first
// top-level window, so both programs are measured from outside in the same way.
//
//   DISPLAY=:N bench_startup_window [PROGRAM_FOLDER] [RUNS]

#include "BenchSupport.h"

#include "support/ServerLauncher.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <poll.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace fiscora;

namespace {

// Waits for the first MapNotify of a child of the root window; false after timeoutMs.
bool waitForMap(xcb_connection_t* connection, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
            std::free(event);
            if (mapped)
                return true;
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            return false;
        pollfd fd{xcb_get_file_descriptor(connection), POLLIN, 0};
        poll(&fd, 1, int(left));
    }
}

void drain(xcb_connection_t* connection) {
    xcb_flush(connection);
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection))
        std::free(event);
}

// Time to the first window, or a negative time when none appeared; *cpuMs: the processor time
// the program used meanwhile (it is killed as soon as the window appears).
double timeToWindow(xcb_connection_t* connection, const QString& program, const QStringList& arguments,
                    double* cpuMs) {
    const double cpuBefore = bench::childrenCpuMs();
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    const bool shown = waitForMap(connection, 20000);
    const double ms = clock.nsecsElapsed() / 1e6;
    process.kill();
    process.waitForFinished(5000);
    *cpuMs = bench::childrenCpuMs() - cpuBefore;
    // The windows of the killed process go away after the clock stopped.
    drain(connection);
    return shown ? ms : -1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString folder = bench::programFolder();
    const int runs = argc > 2 ? qMax(1, QByteArray(argv[2]).toInt()) : 21;

    std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)> connection(xcb_connect(nullptr, nullptr),
                                                                              xcb_disconnect);
    if (xcb_connection_has_error(connection.get())) {
        std::fprintf(stderr, "sem tela X (DISPLAY); execute em Xvfb (scripts/bench.sh o faz)\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection.get())).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection.get(), screen->root, XCB_CW_EVENT_MASK, &mask);
    drain(connection.get());

    // The version check finds the server's version equal to the installed stamp.
    test::ServerLauncher server;
    QFile stamp(folder + QStringLiteral("/info.fsc"));
    if (!stamp.open(QIODevice::ReadOnly))
        return 1;
    server.writeDataFile(QStringLiteral("versao.txt"), stamp.readAll());
    if (!server.start()) {
        std::fprintf(stderr, "servidor: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    if (!server.portalAvailable())
        std::printf("aviso: sem a porta 80 o programa mostra a mensagem de sem conexão, não a abertura\n");
    QTemporaryDir programFolder;
    for (const char* name : {"fiscora.mdb", "gia_limpa.mdb", "info.fsc"})
        QFile::copy(folder + u'/' + QLatin1String(name), programFolder.filePath(QLatin1String(name)));
    QFile settings(programFolder.filePath(QStringLiteral("fiscora.ini")));
    if (!settings.open(QIODevice::WriteOnly))
        return 1;
    settings.write(
        QStringLiteral("[servidor]\nhost=%1\nport=%2\n").arg(server.host()).arg(server.port()).toUtf8());
    settings.close();

    // The two programs take turns, so a busy moment of the machine weighs on both alike.
    const QString peer = QCoreApplication::applicationDirPath() + QStringLiteral("/bench_janela_minima");
    QList<double> fiscoraTimes, peerTimes, fiscoraCpu, peerCpu;
    for (int i = 0; i < runs; ++i) {
        double cpu = 0;
        fiscoraTimes.append(timeToWindow(connection.get(), folder + QStringLiteral("/fiscora"),
                                         {QStringLiteral("--pasta"), programFolder.path()}, &cpu));
        fiscoraCpu.append(cpu);
        peerTimes.append(timeToWindow(connection.get(), peer, {}, &cpu));
        peerCpu.append(cpu);
    }
    if (fiscoraTimes.contains(-1) || peerTimes.contains(-1)) {
        std::fprintf(stderr, "uma das execuções não mostrou janela\n");
        return 1;
    }
    const double fiscoraMs = bench::median(fiscoraTimes);
    const double peerMs = bench::median(peerTimes);
    std::printf("fiscora até a janela de abertura (mediana de %d): %.1f ms, processador %.1f ms\n", runs,
                fiscoraMs, bench::median(fiscoraCpu));
    std::printf("programa Qt mínimo até a sua janela (mediana de %d): %.1f ms, processador %.1f ms\n", runs,
                peerMs, bench::median(peerCpu));
    std::printf("razão: %.2f (meta: <= 1,5)\n", fiscoraMs / peerMs);
    return 0;
}
