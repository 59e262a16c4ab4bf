// P3: a 100 MB file uploaded over loopback to the stand-in server through the path the upload windows
// take (a Transmission: the journal's row, the file read while it is sent on the transport, the
// row completed and the content's digest recorded) and by "curl -F" posting the same file to the
// same route, in the same run. Each upload runs in its own process: time from opening the file to
// the answer, and for Fiscora the peak resident memory above the process's baseline. The module with
// libcurl (fiscora-rede.so) is loaded before both are taken, as in the program, where the version
// check at every start has loaded it before any upload. The PGDAS window's own pauses around the send (150
// ms, kept from the program it replaces) are left out: they are the window's, not the transport's.
//
//   bench_upload [PROGRAM_FOLDER] [RUNS] [MIB]

#include "BenchSupport.h"
#include "support/TestSeams.h"

#include "core/ProgramFolder.h"
#include "net/NetworkLibrary.h"
#include "transmission/Transmission.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

using namespace fiscora;

namespace {

const QString kHost = QStringLiteral("127.0.0.93");
constexpr int kPort = 18093;
const QString kKey = QStringLiteral("BENCH001");

QString url() {
    return QStringLiteral("http://%1:%2 /client/xt_upload_simples.php?contador=11144477735&chave=%3&gias=")
        .arg(kHost)
        .arg(kPort)
        .arg(kKey);
}

// Child mode: one upload as the windows make it; prints "seconds baselineMiB peakMiB answerCode".
int uploadOnce(const QString& path, const QString& programFolder) {
    // A program folder of its own: the settings name the bench's server, the journal is a copy.
    const QTemporaryDir folder;
    if (!bench::makeProgramFolder(folder.path(), programFolder, kHost, kPort))
        return 1;
    fiscora::test::sharedSeams().folder = ProgramFolder(folder.path());
    QElapsedTimer opening;
    opening.start();
    if (!networkLibrary())
        return 1;
    std::fprintf(stderr, "fiscora-rede.so %.1f ms\n", opening.nsecsElapsed() / 1e6);
    const double baseline = bench::residentMiB();
    QElapsedTimer clock;
    clock.start();
    TransmissionOrder order;
    order.kind = TransmissionKind::Pgdas;
    order.ie = QStringLiteral("648.120.377.258");
    order.chave = kKey;
    order.accountantDocument = QStringLiteral("11144477735");
    order.databasePath = path;
    order.chosenPath = path;
    order.fileName = QStringLiteral("grande.pdf");
    const SystemClock systemTime;
    TransmissionJournal journal(fiscora::test::sharedSeams().folder.file(QStringLiteral("fiscora.mdb")),
                                systemTime);
    Transmission transmission(journal, TransmissionLimits{}, fiscora::test::sharedSeams().folder);
    QString answer;
    bool done = false;
    QObject::connect(&transmission, &Transmission::answered, [&](const QString& text) {
        answer = text;
        done = true;
    });
    QObject::connect(&transmission, &Transmission::failed, [&](const AppError& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.description));
        done = true;
    });
    QObject::connect(&transmission, &Transmission::closedWithoutAnswer, [&] { done = true; });
    // FISCORA_BENCH_FASES=1: when each event came, on stderr.
    if (qEnvironmentVariableIsSet("FISCORA_BENCH_FASES")) {
        const auto phase = [&clock](const char* name) {
            return [&clock, name] {
                std::fprintf(stderr, "%s %.3f s\n", name, clock.nsecsElapsed() / 1e9);
            };
        };
        QObject::connect(&transmission, &Transmission::connected, phase("conectado"));
        QObject::connect(&transmission, &Transmission::sendComplete, phase("enviado"));
        QObject::connect(&transmission, &Transmission::answered, phase("resposta"));
    }
    if (const auto refused = transmission.start(order)) {
        std::fprintf(stderr, "%s\n", qPrintable(refused->error.description));
        return 1;
    }
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = clock.nsecsElapsed() / 1e9;
    const qsizetype at = answer.indexOf(QStringLiteral("Resultado: "));
    const QByteArray code =
        at < 0 ? QByteArray("?") : answer.mid(at + 11, answer.indexOf(u'\r', at) - at - 11).toLatin1();
    std::printf("%.4f %.1f %.1f %s\n", seconds, baseline, bench::peakMiB(RUSAGE_SELF), code.constData());
    return answer.isEmpty() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 4 && arguments.at(1) == QLatin1String("--uma-carga"))
        return uploadOnce(arguments.at(2), arguments.at(3));

    const QString folder = bench::programFolder();
    const int runs = arguments.size() > 2 ? arguments.at(2).toInt() : 5;
    const qint64 mib = arguments.size() > 3 ? arguments.at(3).toLongLong() : 100;
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (curl.isEmpty()) {
        std::fprintf(stderr, "curl não encontrado\n");
        return 1;
    }

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("grande.pdf"));
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (qint64 i = 0; i < mib; ++i) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
            out.write(block);
        }
    }
    const QString data = dir.filePath(QStringLiteral("servidor"));
    QDir().mkpath(data);
    QFile seed(dir.filePath(QStringLiteral("semente.json")));
    if (!seed.open(QIODevice::WriteOnly))
        return 1;
    seed.write(
        QJsonDocument::fromVariant(
            QVariantMap{{QStringLiteral("empresas"),
                         QVariantList{QVariantMap{{QStringLiteral("ie"), QStringLiteral("648120377258")},
                                                  {QStringLiteral("cnpj"), QStringLiteral("23456789000195")},
                                                  {QStringLiteral("chave"), kKey},
                                                  {QStringLiteral("simples"), true}}}}})
            .toJson());
    seed.close();

    QProcess server;
    server.setStandardErrorFile(QProcess::nullDevice());
    server.start(folder + QStringLiteral("/fiscora-servidor"),
                 {QStringLiteral("--endereco"), kHost, QStringLiteral("--porta"), QString::number(kPort),
                  QStringLiteral("--porta-portal"), QString::number(kPort), QStringLiteral("--dados"), data,
                  QStringLiteral("--semente"), seed.fileName()});
    for (int i = 0; i < 100 && !QFile::exists(data + QStringLiteral("/pronto")); ++i)
        QThread::msleep(50);
    if (!QFile::exists(data + QStringLiteral("/pronto"))) {
        std::fprintf(stderr, "o servidor não iniciou\n");
        return 1;
    }

    // Seconds and peak memory above the baseline of each run.
    QList<double> seconds, peaks;
    QList<double> curlSeconds;
    QList<double> opened; // ms to load the module with libcurl, before the clock
    QString code;
    for (int run = 0; run < runs; ++run) {
        QProcess ours;
        ours.start(app.applicationFilePath(), {QStringLiteral("--uma-carga"), file, folder});
        ours.waitForFinished(300000);
        const QStringList fields =
            QString::fromLatin1(ours.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
        if (ours.exitCode() != 0 || fields.size() < 4) {
            std::fprintf(stderr, "envio do Fiscora falhou: %s\n", ours.readAllStandardError().constData());
            return 1;
        }
        seconds.append(fields.at(0).toDouble());
        opened.append(ours.readAllStandardError().split(' ').value(1).toDouble());
        peaks.append(fields.at(2).toDouble() - fields.at(1).toDouble());
        code = fields.mid(3).join(QLatin1Char(' '));

        QProcess peer;
        peer.start(curl, {QStringLiteral("-s"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                          QStringLiteral("-H"), QStringLiteral("Expect:"), QStringLiteral("-w"),
                          QStringLiteral("%{time_total}"), QStringLiteral("-F"),
                          QStringLiteral("objArquivo=@%1;type=application/octet-stream").arg(file),
                          url().remove(QLatin1Char(' '))});
        peer.waitForFinished(300000);
        curlSeconds.append(QString::fromLatin1(peer.readAllStandardOutput()).toDouble());
    }
    server.terminate();
    server.waitForFinished(5000);

    const double size = double(mib);
    const double theirs = size / bench::median(curlSeconds);
    std::printf("P3: %lld MiB por loopback, %d execuções (medianas); resposta do servidor: %s\n", mib, runs,
                qPrintable(code));
    const double ours = size / bench::median(seconds);
    std::printf("  %s: %.3f s  %.0f MiB/s  razão/curl %.2f  pico acima da base %.1f MiB (%.2f× o arquivo)\n",
                "Fiscora, caminho das janelas (arquivo lido durante o envio)", bench::median(seconds), ours,
                ours / theirs, bench::median(peaks), bench::median(peaks) / size);
    std::printf("  curl -F: %.3f s  %.0f MiB/s\n", bench::median(curlSeconds), theirs);
    std::printf("  (carregar fiscora-rede.so com a libcurl, feito pelo programa na verificação de versão do "
                "início: %.1f ms)\n",
                bench::median(opened));
    std::printf("  metas: razão >= 0.9, pico <= 10 MiB acima da base\n");
    return 0;
}
