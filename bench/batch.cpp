// Batch transmission: one export with the GIAs of COMPANIES taxpayers (one each), sent as the
// "Transmissão em lote" window and fiscora --transmitir send it (BatchSource, BatchPreparation,
// BatchRun) to the stand-in server over loopback. Per run: the whole batch in its own process,
// from opening the export to the last list, its peak resident memory above the baseline, and the
// server's own time for the same requests (tempos.log: from each request's headers to its
// answer), so the client's share can be told from the server's. With REGISTERED below COMPANIES
// only that many are registered and sent; the others are in the export only, to show the memory
// a large export costs.
//
//   bench_batch [PROGRAM_FOLDER] [RUNS] [COMPANIES] [REGISTERED]

#include "BenchSupport.h"

#include "certificates/Certificate.h"
#include "core/ProgramFolder.h"
#include "data/AccessReader.h"
#include "data/GiaConversion.h"
#include "data/TaxpayerTable.h"
#include "net/LibCrypto.h"
#include "net/LibCurl.h"
#include "support/GiaTextBuilder.h"
#include "transmission/Batch.h"
#include "validation/Documents.h"

#include "support/Await.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

using namespace fiscora;
using G = fiscora::test::GiaTextBuilder;

namespace {

const QString kHost = QStringLiteral("127.0.0.94");
constexpr int kPort = 18094;

struct Company {
    QString ie; // "###.###.###.###"
    QString cnpj;
    QString key;
    QString name;
};

QString digitsWithMask(const QString& digits, const QString& mask) {
    QString out;
    qsizetype at = 0;
    for (const QChar c : mask)
        out.append(c == u'#' ? digits.at(at++) : c);
    return out;
}

// Valid São Paulo registrations and CNPJs, found by trying the check digits.
QList<Company> makeCompanies(int count) {
    QList<Company> companies;
    QRandomGenerator random(20261209);
    while (companies.size() < count) {
        QString ie;
        for (int i = 0; i < 12; ++i)
            ie.append(QChar(u'0' + random.bounded(10)));
        const QString ieText = digitsWithMask(ie, QStringLiteral("###.###.###.###"));
        if (!IEValida(ieText, QStringLiteral("SP")))
            continue;
        QString cnpj;
        for (int i = 0; i < 14; ++i)
            cnpj.append(QChar(u'0' + random.bounded(10)));
        const QString cnpjText = digitsWithMask(cnpj, QStringLiteral("##.###.###/####-##"));
        if (!CNPJValida(cnpjText))
            continue;
        const int n = int(companies.size()) + 1;
        companies.append({ieText, cnpjText, QStringLiteral("K%1").arg(n, 7, 10, QLatin1Char('0')),
                          QStringLiteral("Empresa %1 Ltda").arg(n, 3, 10, QLatin1Char('0'))});
    }
    return companies;
}

// Child mode: the batch; prints "seconds baselineMiB peakMiB listed".
int batchOnce(const QString& programFolder, const QString& folder, const QString& exportPath,
              const QString& certificatePath) {
    ProgramFolder::set(folder);
    AccessReader::setHelperPath(programFolder + QStringLiteral("/fiscora-leitor-mdb"));
    if (!libCurl() || !libCrypto())
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
    TransmissionJournal journal(ProgramFolder::file(QStringLiteral("fiscora.mdb")));
    BatchPreparation preparation(journal);
    BatchRun run(journal);
    int failed = 0;
    BatchSource::open(exportPath, work.path(), &flow, [&](const Result<BatchSource>& opened) {
        if (!opened) {
            std::fprintf(stderr, "%s\n", qPrintable(opened.error().description));
            failed = 1;
            QCoreApplication::quit();
            return;
        }
        source = *opened;
        preparation.start(&source.items);
    });
    QObject::connect(&preparation, &BatchPreparation::finished, &flow, [&] {
        QList<int> all;
        for (qsizetype i = 0; i < source.items.size(); ++i)
            all.append(int(i));
        run.start(&source.items, all, certificate, QStringLiteral("111.444.777-35"));
    });
    QObject::connect(&run, &BatchRun::finished, &flow, &QCoreApplication::quit);
    QCoreApplication::exec();
    if (failed)
        return failed;
    const double seconds = clock.nsecsElapsed() / 1e9;
    int listed = 0;
    for (const BatchItem& item : source.items)
        listed += item.result == BatchItem::Outcome::Listed;
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 6 && arguments.at(1) == QLatin1String("--lote"))
        return batchOnce(arguments.at(2), arguments.at(3), arguments.at(4), arguments.at(5));

    const QString bin = bench::programFolder();
    const int runs = arguments.size() > 2 ? arguments.at(2).toInt() : 5;
    const int count = arguments.size() > 3 ? arguments.at(3).toInt() : 200;
    const int registered = arguments.size() > 4 ? std::min(arguments.at(4).toInt(), count) : count;
    const QList<Company> companies = makeCompanies(count);
    AccessReader::setHelperPath(bin + QStringLiteral("/fiscora-leitor-mdb"));

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
        test::convertGia(text, exportPath, bin + QStringLiteral("/gia_limpa.mdb"));
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

    QList<double> totals, servers, peaks;
    int listed = 0;
    for (int run = 0; run < runs; ++run) {
        QTemporaryDir data;
        QTemporaryDir folder;
        if (!bench::makeProgramFolder(folder.path(), bin, kHost, kPort))
            return 1;
        ProgramFolder::set(folder.path());
        for (const Company& company : companies.first(registered)) {
            if (!insertTaxpayer(Taxpayer{company.ie,
                                         company.name,
                                         company.cnpj,
                                         QStringLiteral("4711-3/02"),
                                         company.key,
                                         {},
                                         false}))
                return 1;
        }

        QProcess server;
        server.setStandardErrorFile(QProcess::nullDevice());
        server.start(bin + QStringLiteral("/fiscora-servidor"),
                     {QStringLiteral("--endereco"), kHost, QStringLiteral("--porta"), QString::number(kPort),
                      QStringLiteral("--porta-portal"), QString::number(kPort), QStringLiteral("--dados"),
                      data.path(), QStringLiteral("--semente"), seed});
        for (int i = 0; i < 200 && !QFile::exists(data.filePath(QStringLiteral("pronto"))); ++i)
            QThread::msleep(50);
        if (!QFile::exists(data.filePath(QStringLiteral("pronto")))) {
            std::fprintf(stderr, "o servidor não iniciou\n");
            return 1;
        }
        // What the seed's loading cost the server is not the batch's.
        QFile::remove(data.filePath(QStringLiteral("tempos.log")));

        QProcess batch;
        batch.start(app.applicationFilePath(),
                    {QStringLiteral("--lote"), bin, folder.path(), exportPath, certificate});
        batch.waitForFinished(600000);
        const QStringList fields = QString::fromLatin1(batch.readAllStandardOutput()).trimmed().split(u' ');
        server.terminate();
        server.waitForFinished(5000);
        if (batch.exitCode() != 0 || fields.size() < 4) {
            std::fprintf(stderr, "o lote falhou: %s\n", batch.readAllStandardError().constData());
            return 1;
        }
        totals.append(fields.at(0).toDouble());
        peaks.append(fields.at(2).toDouble() - fields.at(1).toDouble());
        listed = fields.at(3).toInt();
        servers.append(serverSeconds(data.path()));
    }

    const double total = bench::median(totals);
    const double server = bench::median(servers);
    std::printf("Lote: %d contribuintes com uma GIA cada numa exportação, %d deles cadastrados, %d execuções "
                "(medianas); %d enviadas e listadas\n",
                count, registered, runs, listed);
    std::printf("  total %.2f s, por contribuinte enviado %.1f ms\n", total, total * 1e3 / registered);
    std::printf("  tempo do próprio servidor %.2f s: o cliente acrescenta %.0f%% (meta: <= 20%%)\n", server,
                (total - server) * 100 / server);
    std::printf("  memória de pico acima da base: %.1f MiB (meta: <= 50 MB)\n", bench::median(peaks));
    return 0;
}
