// Batch transmission: one export with the GIAs of COMPANIES taxpayers (one each), sent as the
// "Transmissão em lote" window and fiscora --transmitir send it (BatchSource, BatchPreparation,
// BatchRun) to the stand-in server over loopback. Per run: the whole batch in its own process,
// from opening the export to the last list, its peak resident memory above the baseline, and the
// server's own time for the same requests (tempos.log: from each request's headers to its
// answer), so the client's share can be told from the server's. With REGISTERED below COMPANIES
// only that many are registered and sent; the others are in the export only, to show the memory
// a large export costs.
// With RTT_MS above 0 the program reaches the server through bench_relay, a link of that round
// trip and MBIT_S each way; the bench then also prints the least time the protocol allows on that
// link (the round trips and bytes the relay counted) and the run's ratio to it.
//
// AT_ONCE companies go at a time (3 unless given); the run one at a time is measured too, in the
// same bench run: it is the yardstick, and on loopback the one whose server time (the sum of its
// requests' times) can be set against the total. PROTOCOL is http, https (the server with a certificate of a
// test authority the program trusts) or both (the default on a link).
//
//   bench_batch [PROGRAM_FOLDER] [RUNS] [COMPANIES] [REGISTERED] [RTT_MS] [MBIT_S] [AT_ONCE] [PROTOCOL]

#include "BenchCompanies.h"
#include "BenchSupport.h"

#include "certificates/Certificate.h"
#include "certificates/CertificateLibrary.h"
#include "core/ProgramFolder.h"
#include "data/AccessReader.h"
#include "data/GiaConversion.h"
#include "data/TaxpayerTable.h"
#include "net/NetworkLibrary.h"
#include "support/GiaTextBuilder.h"
#include "support/TestSeams.h"
#include "transmission/Batch.h"
#include "validation/Documents.h"

#include "support/Await.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <optional>

using namespace fiscora;
using G = fiscora::test::GiaTextBuilder;
using fiscora::bench::Company;
using fiscora::bench::makeCompanies;

namespace {

const QString kHost = QStringLiteral("127.0.0.94");
constexpr int kPort = 18094;

// Child mode: the batch; prints "seconds baselineMiB peakMiB listed".
int batchOnce(const QString& programFolder, const QString& folder, const QString& exportPath,
              const QString& certificatePath, int atOnce) {
    fiscora::test::sharedSeams().folder = ProgramFolder(folder);
    const AccessReader reader(programFolder + QStringLiteral("/fiscora-leitor-mdb"),
                              fiscora::test::sharedSeams().gate);
    if (!networkLibrary() || !certificateLibrary())
        return 1;
    QFile file(certificatePath);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const Certificate certificate = Certificate::fromDer(file.readAll());
    const double baseline = bench::residentMiB();
    QElapsedTimer clock;
    clock.start();

    const QTemporaryDir work;
    BatchSource source;
    QObject flow;
    const SystemClock systemTime;
    TransmissionJournal journal(fiscora::test::sharedSeams().folder.file(QStringLiteral("fiscora.mdb")),
                                systemTime);
    BatchPreparation preparation(
        HttpClient(fiscora::test::sharedSeams().folder, fiscora::test::sharedSeams().gate), journal);
    BatchRun run(HttpClient(fiscora::test::sharedSeams().folder, fiscora::test::sharedSeams().gate), journal,
                 TransmissionLimits{});
    int failed = 0;
    BatchSource::open(fiscora::test::sharedSeams().folder, reader, exportPath, work.path(), &flow,
                      [&](const Result<BatchSource>& opened) {
                          if (!opened) {
                              std::fprintf(stderr, "%s\n", qPrintable(opened.error().description));
                              failed = 1;
                              QCoreApplication::quit();
                              return;
                          }
                          source = *opened;
                          preparation.start(&source.items, atOnce);
                      });
    QObject::connect(&preparation, &BatchPreparation::finished, &flow, [&] {
        QList<int> all;
        for (qsizetype i = 0; i < source.items.size(); ++i)
            all.append(int(i));
        run.start(&source.items, all, certificate, QStringLiteral("111.444.777-35"), atOnce);
    });
    QObject::connect(&run, &BatchRun::finished, &flow, &QCoreApplication::quit);
    QCoreApplication::exec();
    if (failed)
        return failed;
    const double seconds = clock.nsecsElapsed() / 1e9;
    int listed = 0;
    for (const BatchItem& item : source.items) {
        listed += item.result == BatchItem::Outcome::Listed;
        // What kept a company from its list, for the run's report.
        if (item.result != BatchItem::Outcome::Listed)
            std::fprintf(stderr, "%s: %d %s\n", qPrintable(item.taxpayer.IE), int(item.result),
                         qPrintable(item.readinessDetail + u' ' + item.detail));
    }
    std::printf("%.4f %.1f %.1f %d\n", seconds, baseline, bench::peakMiB(RUSAGE_SELF), listed);
    return 0;
}

double serverSeconds(const QString& data) {
    QFile times(data + QStringLiteral("/tempos.log"));
    if (!times.open(QIODevice::ReadOnly))
        return 0;
    double ms = 0;
    for (const QByteArray& line : times.readAll().split('\n'))
        ms += line.mid(line.lastIndexOf('\t') + 1).toDouble();
    return ms / 1e3;
}

// The least time a batch could take on the link: its round trips, `atOnce` at a time, and its
// bytes through the busier direction. From the relay's counts: connections, round trips, bytes up
// and down.
// The relay's counts: connections, round trips, bytes up, bytes down.
QList<double> relayCounts(const QString& counts) {
    QFile file(counts);
    QList<double> values;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& field : file.readAll().trimmed().split(' '))
            values.append(field.toDouble());
    }
    return values;
}

double leastSeconds(const QString& counts, double rttMs, double mbits, int atOnce) {
    QFile file(counts);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = file.readAll().trimmed().split(' ');
    if (fields.size() < 4)
        return 0;
    const double roundTrips = fields.at(1).toDouble();
    const double bytes = std::max(fields.at(2).toDouble(), fields.at(3).toDouble());
    return roundTrips * rttMs / 1e3 / atOnce + bytes * 8 / (mbits * 1e6);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 7 && arguments.at(1) == QLatin1String("--lote"))
        return batchOnce(arguments.at(2), arguments.at(3), arguments.at(4), arguments.at(5),
                         arguments.at(6).toInt());

    const QString bin = bench::programFolder();
    const int runs = arguments.size() > 2 ? arguments.at(2).toInt() : 5;
    const int count = arguments.size() > 3 ? arguments.at(3).toInt() : 200;
    const int registered = arguments.size() > 4 ? std::min(arguments.at(4).toInt(), count) : count;
    const double rttMs = arguments.size() > 5 ? arguments.at(5).toDouble() : 0;
    const double mbits = arguments.size() > 6 ? arguments.at(6).toDouble() : 20;
    const int atOnceArgument = arguments.size() > 7 ? std::max(1, arguments.at(7).toInt()) : 3;
    const QString protocol =
        arguments.size() > 8 ? arguments.at(8) : QString::fromLatin1(rttMs > 0 ? "both" : "http");
    const int clientPort = rttMs > 0 ? kPort + 1 : kPort;
    const QList<Company> companies = makeCompanies(count);
    const AccessReader reader(bin + QStringLiteral("/fiscora-leitor-mdb"), fiscora::test::sharedSeams().gate);

    QTemporaryDir dir;
    // The export: one GIA of 01/2025 per company.
    QList<QByteArray> lines{G::header01()};
    for (const Company& company : companies) {
        QString digits = company.ie;
        digits.remove(u'.');
        lines.append(G::gia05(digits.toLatin1(), "202501") + "\r\n" + G::cfop10("5102", {150000}));
    }
    const QString text = dir.filePath(QStringLiteral("escritorio.prf"));
    {
        QFile out(text);
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        out.write(G::file(lines));
    }
    const QString exportPath = dir.filePath(QStringLiteral("escritorio.mdb"));
    const GiaConversion::Outcome made =
        test::convertGia(text, exportPath, bin + QStringLiteral("/gia_limpa.mdb"), reader);
    if (!made.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(made.message));
        return 1;
    }
    QJsonArray seeded;
    for (const Company& company : companies.first(registered))
        seeded.append(QJsonObject{{QStringLiteral("ie"), company.ie},
                                  {QStringLiteral("cnpj"), company.cnpj},
                                  {QStringLiteral("razao"), company.name},
                                  {QStringLiteral("chave"), company.key}});
    const QString seed = dir.filePath(QStringLiteral("semente.json"));
    {
        QFile out(seed);
        if (!out.open(QIODevice::WriteOnly))
            return 1;
        out.write(
            QJsonDocument(QJsonObject{{QStringLiteral("empresas"), seeded},
                                      {QStringLiteral("parametros"),
                                       QJsonObject{{QStringLiteral("anos"), QStringLiteral("2025,2026")}}}})
                .toJson());
    }
    const QString certificate =
        QStringLiteral(FISCORA_SOURCE_DIR "/tests/fixtures/certificados/contador.cer");
    // The server's TLS certificate, from an authority of this run that the program trusts.
    const QString tls = dir.filePath(QStringLiteral("tls"));
    const QString script = QStringLiteral(FISCORA_SOURCE_DIR "/scripts/gerar-certificado-tls.sh");
    if (protocol != QLatin1String("http") &&
        (QProcess::execute(script, {QStringLiteral("ac"), tls}) != 0 ||
         QProcess::execute(
             script, {QStringLiteral("servidor"), tls, tls + QStringLiteral("/servidor"), kHost}) != 0)) {
        std::fprintf(stderr, "não foi possível gerar o certificado TLS do servidor\n");
        return 1;
    }

    struct Measured {
        double total = 0, server = 0, peak = 0, least = 0, connections = 0, roundTrips = 0;
        int listed = 0;
    };
    // The medians of `runs` batches sending `atOnce` companies at a time; none when one failed.
    // With `inMemory` the program folder, and so the journal, is on a RAM disk: its commits do not
    // wait for the disk, which tells the journal's durable writes from the rest of the client.
    const auto measure = [&](int atOnce, bool https, bool inMemory = false) -> std::optional<Measured> {
        QList<double> totals, servers, peaks, leasts;
        Measured measured;
        for (int run = 0; run < runs; ++run) {
            QTemporaryDir data;
            QTemporaryDir folder(inMemory ? QStringLiteral("/dev/shm/fiscora-bench-XXXXXX") : QString());
            if (!bench::makeProgramFolder(folder.path(), bin, kHost, clientPort))
                return std::nullopt;
            if (https) {
                QFile ini(folder.filePath(QStringLiteral("fiscora.ini")));
                if (!ini.open(QIODevice::Append) ||
                    ini.write(QStringLiteral("protocolo=https\r\ncertificados=%1/ac-teste.pem\r\n")
                                  .arg(tls)
                                  .toLatin1()) <= 0)
                    return std::nullopt;
            }
            fiscora::test::sharedSeams().folder = ProgramFolder(folder.path());
            for (const Company& company : companies.first(registered)) {
                if (!insertTaxpayer(fiscora::test::sharedSeams().folder, Taxpayer{company.ie,
                                                                                  company.name,
                                                                                  company.cnpj,
                                                                                  QStringLiteral("4711-3/02"),
                                                                                  company.key,
                                                                                  {},
                                                                                  false}))
                    return std::nullopt;
            }

            QProcess server;
            server.setStandardErrorFile(QProcess::nullDevice());
            QStringList serverArguments{QStringLiteral("--endereco"),     kHost,
                                        QStringLiteral("--porta"),        QString::number(kPort),
                                        QStringLiteral("--porta-portal"), QString::number(kPort),
                                        QStringLiteral("--dados"),        data.path(),
                                        QStringLiteral("--semente"),      seed};
            if (https)
                serverArguments << QStringLiteral("--certificado") << tls + QStringLiteral("/servidor.pem")
                                << QStringLiteral("--chave-certificado")
                                << tls + QStringLiteral("/servidor.key");
            server.start(bin + QStringLiteral("/fiscora-servidor"), serverArguments);
            for (int i = 0; i < 200 && !QFile::exists(data.filePath(QStringLiteral("pronto"))); ++i)
                QThread::msleep(50);
            if (!QFile::exists(data.filePath(QStringLiteral("pronto")))) {
                std::fprintf(stderr, "o servidor não iniciou\n");
                return std::nullopt;
            }
            // What the seed's loading cost the server is not the batch's.
            QFile::remove(data.filePath(QStringLiteral("tempos.log")));
            QProcess relay;
            const QString counts = data.filePath(QStringLiteral("contagens.txt"));
            if (rttMs > 0) {
                relay.start(QCoreApplication::applicationDirPath() + QStringLiteral("/bench_relay"),
                            {kHost, QString::number(clientPort), kHost, QString::number(kPort),
                             QString::number(rttMs), QString::number(mbits), counts});
                if (!relay.waitForStarted()) {
                    std::fprintf(stderr, "o relé não iniciou\n");
                    return std::nullopt;
                }
                QThread::msleep(200);
            }

            QProcess batch;
            batch.start(app.applicationFilePath(), {QStringLiteral("--lote"), bin, folder.path(), exportPath,
                                                    certificate, QString::number(atOnce)});
            batch.waitForFinished(1800000);
            const QStringList fields =
                QString::fromLatin1(batch.readAllStandardOutput()).trimmed().split(u' ');
            server.terminate();
            server.waitForFinished(5000);
            if (rttMs > 0) {
                relay.terminate();
                relay.waitForFinished(5000);
                leasts.append(leastSeconds(counts, rttMs, mbits, atOnce));
                const QList<double> counted = relayCounts(counts);
                measured.connections = counted.value(0);
                measured.roundTrips = counted.value(1);
            }
            if (batch.exitCode() != 0 || fields.size() < 4) {
                std::fprintf(stderr, "o lote falhou: %s\n", batch.readAllStandardError().constData());
                return std::nullopt;
            }
            std::fputs(batch.readAllStandardError().constData(), stderr);
            totals.append(fields.at(0).toDouble());
            peaks.append(fields.at(2).toDouble() - fields.at(1).toDouble());
            measured.listed = fields.at(3).toInt();
            servers.append(serverSeconds(data.path()));
        }
        measured.total = bench::median(totals);
        measured.server = bench::median(servers);
        measured.peak = bench::median(peaks);
        measured.least = bench::median(leasts);
        return measured;
    };

    std::printf("Lote: %d contribuintes com uma GIA cada numa exportação, %d deles cadastrados, %d execuções "
                "(medianas)\n",
                count, registered, runs);
    if (rttMs > 0)
        std::printf("  enlace de %.0f ms de ida e volta e %.0f Mbit/s em cada sentido (bench_relay)\n", rttMs,
                    mbits);
    // The serial run is the yardstick of the run a few at a time.
    QList<int> atOnces{atOnceArgument};
    if (atOnceArgument > 1)
        atOnces.prepend(1);
    QList<bool> overTls;
    if (protocol != QLatin1String("https"))
        overTls.append(false);
    if (protocol != QLatin1String("http"))
        overTls.append(true);
    for (const bool https : overTls) {
        double serial = 0;
        for (const int atOnce : atOnces) {
            const std::optional<Measured> m = measure(atOnce, https);
            if (!m)
                return 1;
            std::printf(
                "  %s, %d de cada vez: %d enviadas e listadas, total %.2f s, por contribuinte %.1f ms",
                https ? "HTTPS" : "HTTP", atOnce, m->listed, m->total, m->total * 1e3 / registered);
            if (atOnce == 1)
                serial = m->total;
            else if (serial > 0)
                std::printf(", %.1f vezes mais rápido que um de cada vez", serial / m->total);
            std::printf("\n");
            if (rttMs > 0)
                std::printf("    %.0f conexões, %.0f idas e voltas; o menor tempo que o protocolo permite é "
                            "%.2f s: o "
                            "lote levou %.2f vezes isso\n",
                            m->connections, m->roundTrips, m->least, m->total / m->least);
            else if (atOnce == 1) {
                std::printf("    tempo do próprio servidor %.2f s: o cliente acrescenta %.0f%%\n", m->server,
                            (m->total - m->server) * 100 / m->server);
                const std::optional<Measured> ram = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                                        ? measure(1, https, true)
                                                        : std::nullopt;
                if (ram)
                    std::printf(
                        "    com a pasta do programa na memória (o diário sem esperar o disco): total "
                        "%.2f s, servidor %.2f s, o cliente acrescenta %.0f%%\n",
                        ram->total, ram->server, (ram->total - ram->server) * 100 / ram->server);
            }
            std::printf("    memória de pico acima da base: %.1f MiB (meta: <= 50 MB)\n", m->peak);
        }
    }
    return 0;
}
