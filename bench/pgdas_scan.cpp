// The stand-in server's reading of an uploaded PGDAS document, on documents of about the same size:
// a plain one (its text in one stream), one made of many tiny compressed streams, and one of many
// tiny streams with no object header near them. Each kind is read in a child process of its own:
// the median time of the reading and the peak resident memory it adds to the document itself.
//
//   bench_pgdas_scan [STREAMS] [RUNS]

#include "BenchSupport.h"

#include "PgdasDocument.h"

#include <QProcess>

#include <zlib.h>

#include <cstdio>

namespace {

QByteArray deflated(const QByteArray& text) {
    uLongf size = compressBound(uLong(text.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.constData()),
             uLong(text.size()));
    out.resize(qsizetype(size));
    return out;
}

QByteArray tinyStreams(int streams, bool withObjects) {
    const QByteArray data = deflated("BT (Periodo 01/2024) Tj ET");
    QByteArray pdf = "%PDF-1.4\n";
    for (int i = 1; i <= streams; ++i) {
        if (withObjects)
            pdf += QByteArray::number(i) + " 0 obj\n<< /Length " + QByteArray::number(data.size()) +
                   " /Filter /FlateDecode >>\n";
        pdf += "stream\n" + data + "\nendstream\n";
        if (withObjects)
            pdf += "endobj\n";
    }
    return pdf + "trailer\n<< >>\n%%EOF\n";
}

QByteArray plain(qsizetype size) {
    QByteArray pdf = "%PDF-1.4\n1 0 obj\n<< >>\nstream\n";
    while (pdf.size() < size)
        pdf += "BT (Periodo 01/2024 linha de texto) Tj ET\n";
    return pdf + "\nendstream\nendobj\ntrailer\n<< >>\n%%EOF\n";
}

// The process's peak resident memory in MiB since the last resetPeak().
double peakSinceReset() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

void resetPeak() {
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Child mode: builds the document, reads it RUNS times; prints "ms addedPeakMiB bytes".
int measure(const QString& kind, int streams, int runs) {
    const QByteArray sized = tinyStreams(streams, true);
    const QByteArray pdf = kind == QLatin1String("plain")  ? plain(sized.size())
                           : kind == QLatin1String("tiny") ? sized
                                                           : tinyStreams(streams, false);
    resetPeak();
    const double before = fiscora::bench::residentMiB();
    QStringList refusals;
    const double ms =
        fiscora::bench::medianMs(runs, [&] { refusals = servidor::inspectPgdasDocument(pdf).refusals; });
    std::printf("%.1f %.1f %lld %s\n", ms, peakSinceReset() - before, static_cast<long long>(pdf.size()),
                qPrintable(refusals.join(QLatin1Char(','))));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() > 1 && arguments.at(1) == QLatin1String("--child"))
        return measure(arguments.at(2), arguments.at(3).toInt(), arguments.at(4).toInt());
    const int streams = arguments.size() > 1 ? arguments.at(1).toInt() : 100'000;
    const int runs = arguments.size() > 2 ? arguments.at(2).toInt() : 5;
    std::printf("%-12s %10s %14s %12s  %s\n", "document", "scan ms", "scan peak MiB", "bytes", "refusals");
    for (const QString& kind :
         {QStringLiteral("plain"), QStringLiteral("tiny"), QStringLiteral("tiny-no-obj")}) {
        QProcess child;
        child.start(app.applicationFilePath(),
                    {QStringLiteral("--child"), kind, QString::number(streams), QString::number(runs)});
        if (!child.waitForFinished(-1) || child.exitCode() != 0)
            return 1;
        const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
        if (fields.size() < 3)
            return 1;
        std::printf("%-12s %10s %14s %12s  %s\n", qPrintable(kind), fields.at(0).constData(),
                    fields.at(1).constData(), fields.at(2).constData(),
                    fields.size() > 3 ? fields.at(3).constData() : "");
    }
    return 0;
}
