// One Transferencia.ver2 round trip (a company's transmission list) through the program's SOAP
// call, beside curl posting the same envelope to the same stand-in server over loopback.
//
//   bench_round_trip [PROGRAM_FOLDER] [RUNS]
//
// The server and the program are always the build's (tests/support); PROGRAM_FOLDER is not read,
// it only keeps the call the same as the other benchmarks'.

#include "BenchSupport.h"

#include "net/Soap.h"
#include "support/Await.h"
#include "support/ProgramFolderFixture.h"
#include "support/SeedData.h"
#include "support/ServerLauncher.h"

#include <QProcess>
#include <QStandardPaths>

#include <cstdio>

using namespace fiscora;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 2 ? qMax(1, QByteArray(argv[2]).toInt()) : 21;

    test::ServerLauncher server;
    test::SeedCompany company{QStringLiteral("110.042.490.114"),
                              QStringLiteral("12.345.678/0001-95"),
                              QStringLiteral("Comercial Ribeirão Verde Ltda"),
                              QStringLiteral("RV7K2M9Q"),
                              false,
                              {}};
    for (int month = 1; month <= 12; ++month)
        company.transmissoes.append(
            {QStringLiteral("%1/2025").arg(month, 2, 10, QLatin1Char('0')),
             QStringLiteral("2025-%1-10 09:00:00").arg(month, 2, 10, QLatin1Char('0')),
             QStringLiteral("2025%1").arg(month, 6, 10, QLatin1Char('0')), 2, QStringLiteral("1.000,00"),
             QString()});
    if (!server.start(test::writeSeed(server, {company}))) {
        std::fprintf(stderr, "servidor: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    test::ProgramFolderFixture folder(server.host(), server.port());

    const QList<SoapParameter> parameters{{QStringLiteral("strNome"), company.ie},
                                          {QStringLiteral("strDiretorioDestino"), QStringLiteral("vbs")},
                                          {QStringLiteral("Chave"), company.chave}};
    Result<QString> answer = AppError::message(QString());
    const double fiscoraMs = bench::medianMs(
        runs, [&] { answer = test::soapAnswer(QStringLiteral("Transferencia.ver2"), parameters); });
    if (!answer || GetResult(*answer, QStringLiteral("return")).isEmpty()) {
        std::fprintf(stderr, "resposta inesperada: %s\n",
                     qPrintable(answer ? answer->left(300) : answer.error().description));
        return 1;
    }
    std::printf("Transferencia.ver2 pelo programa (mediana de %d): %.2f ms, %lld bytes\n", runs, fiscoraMs,
                qlonglong(answer->toUtf8().size()));

    if (QStandardPaths::findExecutable(QStringLiteral("curl")).isEmpty()) {
        std::printf("curl não está instalado\n");
        return 0;
    }
    const QString envelope = folder.file(QStringLiteral("envelope.xml"));
    folder.writeFile(QStringLiteral("envelope.xml"),
                     SoapEnvelope(QStringLiteral("Transferencia.ver2"), parameters).toUtf8());
    const QString url = test::soapUrl(server);
    // curl's own time for the exchange (-w time_total), besides the whole process.
    QByteArray curlAnswer;
    QList<double> exchanges;
    const double curlMs = bench::medianMs(runs, [&] {
        QProcess curl;
        curl.start(QStringLiteral("curl"),
                   {QStringLiteral("-s"), QStringLiteral("--noproxy"), QStringLiteral("*"),
                    QStringLiteral("-H"), QStringLiteral("Content-Type: text/xml"), QStringLiteral("-H"),
                    QStringLiteral("SOAPAction: Transferencia.ver2"), QStringLiteral("--data-binary"),
                    u'@' + envelope, QStringLiteral("-w"), QStringLiteral("\n%{time_total}"), url});
        curl.waitForFinished(30000);
        curlAnswer = curl.readAllStandardOutput();
        const qsizetype cut = curlAnswer.lastIndexOf('\n');
        exchanges.append(curlAnswer.mid(cut + 1).toDouble() * 1000);
        curlAnswer.truncate(qMax<qsizetype>(cut, 0));
    });
    const double exchangeMs = bench::median(exchanges);
    std::printf("curl com o mesmo envelope (mediana de %d): %.2f ms o processo inteiro, %.2f ms a troca "
                "(time_total), %lld bytes\n",
                runs, curlMs, exchangeMs, qlonglong(curlAnswer.size()));
    std::printf(
        "razão contra a troca do curl: %.2f; contra o processo do curl: %.2f (meta: <= 1,0 contra a troca)\n",
        fiscoraMs / exchangeMs, fiscoraMs / curlMs);
    return GetResult(QString::fromUtf8(curlAnswer), QStringLiteral("return")).isEmpty() ? 1 : 0;
}
