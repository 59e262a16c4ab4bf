// "fiscora --listar" on a two-GIA package and on an export of 32,767 GIAs, beside
// "mdb-export FILE tblGIA | grep IE" on the same files, each measured as whole processes.
//
//   bench_gia_listing [PROGRAM_FOLDER] [RUNS]

#include "BenchSupport.h"

#include "data/AccessReader.h"
#include "data/GiaDatabaseReader.h"
#include "data/NovaGiaLayout.h"

#include "support/Await.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <malloc.h>

#include <cstdio>

using namespace fiscora;

namespace {

constexpr int kGias = 32767;
constexpr int kTaxpayers = 10;

QString ieOf(int taxpayer) {
    return QStringLiteral("123.456.789.%1").arg(taxpayer, 3, 10, QLatin1Char('0'));
}

bool writeExport(const QString& path, int gias, int taxpayers) {
    jet::Database database = NovaGiaLayout::emptyDatabase();
    for (jet::TableData& table : database.tables) {
        if (table.table.name == QLatin1String("tblContribuinte")) {
            for (int t = 0; t < taxpayers; ++t)
                table.rows.append({ieOf(t), QStringLiteral("Empresa %1 Ltda").arg(t),
                                   QStringLiteral("12.345.678/0001-95"), QStringLiteral("4711-3/02")});
        } else if (table.table.name == QLatin1String("tblGIA")) {
            for (int g = 1; g <= gias; ++g) {
                const QDate month = QDate(2000, 1, 20).addMonths((kGias - g) % 300);
                table.rows.append({qint64(g), ieOf(g % taxpayers), qint64(1 + g % 2), QStringLiteral("02"),
                                   jet::DateTime::fromDate(month), qint64(1)});
            }
        }
    }
    if (const Status written = jet::writeDatabase(path, database); !written) {
        std::fprintf(stderr, "%s\n", qPrintable(written.error().description));
        return false;
    }
    return true;
}

// One run of a whole process: wall time and processor time (its children included), in ms.
struct Run {
    double wallMs = 0;
    double cpuMs = 0;
};
Run runProcess(const QString& program, const QStringList& arguments, QByteArray* output) {
    const double cpuBefore = bench::childrenCpuMs();
    QElapsedTimer clock;
    clock.start();
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    *output = process.readAllStandardOutput();
    return {clock.nsecsElapsed() / 1e6, bench::childrenCpuMs() - cpuBefore};
}

// Lists ie's GIAs of the file with both tools, taking turns so a busy moment of the machine
// weighs on both alike; false when they disagree.
bool compare(const QString& folder, int runs, const QString& path, const QString& ie) {
    int inProcess = 0;
    const double readerMs = bench::medianMs(runs, [&] {
        inProcess = int(test::listGias(path, ie,
                                       AccessReader(folder + QStringLiteral("/fiscora-leitor-mdb"),
                                                    test::sharedSeams().gate))
                            .rows.size());
    });
    std::printf("  listagem dentro do processo (leitor filho incluído): %.1f ms, %d GIAs\n", readerMs,
                inProcess);
    const bool peer = !QStandardPaths::findExecutable(QStringLiteral("mdb-export")).isEmpty();
    QList<double> listWall, listCpu, peerWall, peerCpu;
    QByteArray listed, grepped;
    for (int i = 0; i < runs; ++i) {
        const Run list =
            runProcess(folder + QStringLiteral("/fiscora"), {QStringLiteral("--listar"), path, ie}, &listed);
        listWall.append(list.wallMs);
        listCpu.append(list.cpuMs);
        if (!peer)
            continue;
        const Run exported = runProcess(
            QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), QStringLiteral("mdb-export '%1' tblGIA | grep '%2'").arg(path, ie)},
            &grepped);
        peerWall.append(exported.wallMs);
        peerCpu.append(exported.cpuMs);
    }
    const int lines = int(listed.count('\n'));
    std::printf("  fiscora --listar (mediana de %d): %.1f ms, processador %.1f ms, %d GIAs\n", runs,
                bench::median(listWall), bench::median(listCpu), lines);
    if (!peer) {
        std::printf("  mdb-export não está instalado\n");
        return lines == inProcess;
    }
    std::printf("  mdb-export tblGIA | grep IE (mediana de %d): %.1f ms, processador %.1f ms, %d linhas\n",
                runs, bench::median(peerWall), bench::median(peerCpu), int(grepped.count('\n')));
    std::printf("  razão fiscora / mdb-export: %.2f; em processador: %.2f (meta: <= 1,0)\n",
                bench::median(listWall) / bench::median(peerWall),
                bench::median(listCpu) / bench::median(peerCpu));
    return lines == inProcess && lines == int(grepped.count('\n'));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString folder = bench::programFolder();
    const int runs = argc > 2 ? qMax(1, QByteArray(argv[2]).toInt()) : 21;
    QTemporaryDir dir;
    const QString small = dir.filePath(QStringLiteral("pacote.mdb"));
    const QString path = dir.filePath(QStringLiteral("exportacao.mdb"));
    if (!writeExport(small, 2, 1) || !writeExport(path, kGias, kTaxpayers))
        return 1;
    // FISCORA_BENCH_COPIA=FILE keeps a copy of the export for other measurements.
    if (const QString copy = qEnvironmentVariable("FISCORA_BENCH_COPIA"); !copy.isEmpty()) {
        QFile::remove(copy);
        QFile::copy(path, copy);
    }
    // The export's rows are gone; give their memory back so starting the programs measured
    // (a fork of this process) costs what it costs from a shell.
    malloc_trim(0);
    std::printf("pacote de 2 GIAs de um contribuinte; listando %s\n", qPrintable(ieOf(0)));
    const bool smallAgrees = compare(folder, runs, small, ieOf(0));
    std::printf("exportação: %d GIAs de %d contribuintes, %.1f MiB; listando %s\n", kGias, kTaxpayers,
                QFileInfo(path).size() / 1048576.0, qPrintable(ieOf(3)));
    const bool largeAgrees = compare(folder, runs, path, ieOf(3));
    return smallAgrees && largeAgrees ? 0 : 1;
}
