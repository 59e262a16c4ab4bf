// The month view's data ("Situação do mês"): MonthSituation over COMPANIES registered taxpayers
// against the stand-in server over loopback, as the window asks (3 lists at a time unless
// AT_ONCE says), from show() to the full grid (its finished signal). Half the companies have the
// month delivered. Measured twice in one run: the server answering at once, and holding each list
// HOLD_MS before its answer (a slow server); for the latter the least time the lists at a time
// allow is printed beside it.
//
//   bench_month_view [PROGRAM_FOLDER] [RUNS] [COMPANIES] [HOLD_MS] [AT_ONCE]

#include "BenchCompanies.h"
#include "BenchSupport.h"
#include "support/TestSeams.h"

#include "core/Clock.h"
#include "core/ProgramFolder.h"
#include "data/TaxpayerTable.h"
#include "data/TransmissionJournal.h"
#include "transmission/MonthSituation.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <optional>

using namespace fiscora;

namespace {

const QString kHost = QStringLiteral("127.0.0.95");
constexpr int kPort = 18095;
const QString kReference = QStringLiteral("01/2026");

bool writeSeed(const QString& path, const QList<bench::Company>& companies) {
    QJsonArray seeded;
    for (qsizetype i = 0; i < companies.size(); ++i) {
        const bench::Company& company = companies.at(i);
        QJsonArray transmissions;
        if (i % 2 == 0)
            transmissions.append(QJsonObject{
                {QStringLiteral("referencia"), kReference},
                {QStringLiteral("data"), QStringLiteral("2026-02-10 09:00:00")},
                {QStringLiteral("protocolo"), QStringLiteral("2026%1").arg(i, 6, 10, QLatin1Char('0'))},
                {QStringLiteral("status"), 1},
                {QStringLiteral("adicionado"), QStringLiteral("1.000,00")}});
        seeded.append(QJsonObject{{QStringLiteral("ie"), company.ie},
                                  {QStringLiteral("cnpj"), company.cnpj},
                                  {QStringLiteral("razao"), company.name},
                                  {QStringLiteral("chave"), company.key},
                                  {QStringLiteral("transmissoes"), transmissions}});
    }
    QFile out(path);
    return out.open(QIODevice::WriteOnly) &&
           out.write(QJsonDocument(
                         QJsonObject{{QStringLiteral("empresas"), seeded},
                                     {QStringLiteral("parametros"),
                                      QJsonObject{{QStringLiteral("anos"), QStringLiteral("2025,2026")}}}})
                         .toJson()) > 0;
}

// The median milliseconds from show() to finished over `runs` fresh views; none when a run did
// not finish or a list failed.
std::optional<double> measure(const QList<Taxpayer>& taxpayers, TransmissionJournal& journal, int runs,
                              int atOnce) {
    QList<double> times;
    for (int run = 0; run < runs; ++run) {
        MonthSituation month(
            HttpClient(fiscora::test::sharedSeams().folder, fiscora::test::sharedSeams().gate), journal);
        QEventLoop loop;
        QObject::connect(&month, &MonthSituation::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(600'000, &loop, &QEventLoop::quit);
        QElapsedTimer clock;
        clock.start();
        month.show(taxpayers, kReference, atOnce);
        loop.exec();
        times.append(double(clock.nsecsElapsed()) / 1e6);
        if (month.asking())
            return std::nullopt;
        for (const MonthRow& row : month.rows()) {
            if (row.state == MonthState::ListUnavailable) {
                std::fprintf(stderr, "lista indisponível: %s\n", qPrintable(row.detail));
                return std::nullopt;
            }
        }
    }
    return bench::median(times);
}

// The server's own mean time per request, in ms (tempos.log: from each request's headers to its
// answer).
double serverMsPerRequest(const QString& data) {
    QFile times(data + QStringLiteral("/tempos.log"));
    if (!times.open(QIODevice::ReadOnly))
        return 0;
    double ms = 0;
    int requests = 0;
    for (const QByteArray& line : times.readAll().split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        ms += line.mid(line.lastIndexOf('\t') + 1).toDouble();
        ++requests;
    }
    return requests > 0 ? ms / requests : 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const QString bin = bench::programFolder();
    const int runs = arguments.size() > 2 ? std::max(1, arguments.at(2).toInt()) : 5;
    const int count = arguments.size() > 3 ? std::max(1, arguments.at(3).toInt()) : 200;
    const int holdMs = arguments.size() > 4 ? std::max(0, arguments.at(4).toInt()) : 100;
    const int atOnce = arguments.size() > 5 ? std::max(1, arguments.at(5).toInt()) : 3;
    const QList<bench::Company> companies = bench::makeCompanies(count);

    QTemporaryDir dir;
    const QString seed = dir.filePath(QStringLiteral("semente.json"));
    if (!writeSeed(seed, companies) || !bench::makeProgramFolder(dir.path(), bin, kHost, kPort))
        return 1;
    fiscora::test::sharedSeams().folder = ProgramFolder(dir.path());
    QList<Taxpayer> taxpayers;
    for (const bench::Company& company : companies) {
        taxpayers.append(Taxpayer{
            company.ie, company.name, company.cnpj, QStringLiteral("4711-3/02"), company.key, {}, false});
        if (!insertTaxpayer(fiscora::test::sharedSeams().folder, taxpayers.last()))
            return 1;
    }
    const SystemClock systemTime;
    TransmissionJournal journal(dir.filePath(QStringLiteral("fiscora.mdb")), systemTime);

    for (const int hold : {0, holdMs}) {
        QTemporaryDir data;
        QProcess server;
        server.setStandardErrorFile(QProcess::nullDevice());
        server.start(bin + QStringLiteral("/fiscora-servidor"),
                     {QStringLiteral("--endereco"), kHost, QStringLiteral("--porta"), QString::number(kPort),
                      QStringLiteral("--porta-portal"), QString::number(kPort), QStringLiteral("--dados"),
                      data.path(), QStringLiteral("--semente"), seed, QStringLiteral("--espera-lista-ms"),
                      QString::number(hold)});
        for (int i = 0; i < 200 && !QFile::exists(data.filePath(QStringLiteral("pronto"))); ++i)
            QThread::msleep(50);
        if (!QFile::exists(data.filePath(QStringLiteral("pronto")))) {
            std::fprintf(stderr, "o servidor não iniciou\n");
            return 1;
        }
        // What the seed's loading cost the server is not the lists'.
        QFile::remove(data.filePath(QStringLiteral("tempos.log")));
        const std::optional<double> ms = measure(taxpayers, journal, runs, atOnce);
        const double serverMs = serverMsPerRequest(data.path());
        server.kill();
        server.waitForFinished();
        if (!ms)
            return 1;
        const double least = std::ceil(double(count) / atOnce) * hold;
        if (hold == 0)
            std::printf(
                "Situação do mês, %d contribuintes, %d listas por vez (mediana de %d): %.0f ms, %.2f ms por "
                "contribuinte; o servidor, %.2f ms por lista\n",
                count, atOnce, runs, *ms, *ms / count, serverMs);
        else
            std::printf("Com o servidor retendo cada lista %d ms: %.0f ms (o mínimo com %d por vez: %.0f ms; "
                        "acréscimo %.0f%%); o servidor, %.1f ms por lista\n",
                        hold, *ms, atOnce, least, 100.0 * (*ms - least) / least, serverMs);
    }
    return 0;
}
