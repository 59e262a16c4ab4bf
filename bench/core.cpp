// The core routines on the sizes they meet: a certificate exported in Base64 (about 2 KB with
// line breaks), a call's envelope, an answer's result, a state registration.
#include "net/Base64.h"
#include "net/Soap.h"
#include "validation/Documents.h"

#include <benchmark/benchmark.h>

using namespace fiscora;

namespace {

QString certificateText() {
    QByteArray bytes(1600, Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 37 + 11);
    const QByteArray encoded = bytes.toBase64();
    QString text;
    for (qsizetype i = 0; i < encoded.size(); i += 64)
        text += QString::fromLatin1(encoded.mid(i, 64)) + QStringLiteral("\r\n");
    return text;
}

void BM_MyDecodeCertificate(benchmark::State& state) {
    const QString text = certificateText();
    for (auto _ : state) {
        Result<QString> decoded = MyDecode(text);
        benchmark::DoNotOptimize(decoded);
    }
    state.SetBytesProcessed(state.iterations() * text.size());
}
BENCHMARK(BM_MyDecodeCertificate);

void BM_SoapEnvelopeAccountant(benchmark::State& state) {
    QList<SoapParameter> parameters;
    for (int i = 0; i < 12; ++i)
        parameters.append({QStringLiteral("campo%1").arg(i), QStringLiteral("Silva & Filhos <%1>").arg(i)});
    for (auto _ : state)
        benchmark::DoNotOptimize(SoapEnvelope(QStringLiteral("Transferencia.contador"), parameters));
}
BENCHMARK(BM_SoapEnvelopeAccountant);

void BM_GetResultTransmissionList(benchmark::State& state) {
    QString list = QStringLiteral("&lt;listaTransferencias&gt;");
    for (int i = 0; i < 200; ++i)
        list +=
            QStringLiteral("&lt;transferencia&gt;&lt;protocolo&gt;%1&lt;/protocolo&gt;&lt;/transferencia&gt;")
                .arg(i);
    list += QStringLiteral("&lt;/listaTransferencias&gt;");
    const QString answer = QStringLiteral("<?xml version=\"1.0\"?><e:Envelope xmlns:e=\"urn:e\"><e:Body><r>"
                                          "<return>") +
                           list + QStringLiteral("</return></r></e:Body></e:Envelope>");
    for (auto _ : state)
        benchmark::DoNotOptimize(GetResult(answer, QStringLiteral("return")));
}
BENCHMARK(BM_GetResultTransmissionList);

void BM_IEValidaSP(benchmark::State& state) {
    const QString ie = QStringLiteral("110.042.490.114");
    const QString uf = QStringLiteral("SP");
    for (auto _ : state)
        benchmark::DoNotOptimize(IEValida(ie, uf));
}
BENCHMARK(BM_IEValidaSP);

} // namespace

BENCHMARK_MAIN();
