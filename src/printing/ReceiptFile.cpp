#include "printing/ReceiptFile.h"

#include "core/WorkerJob.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextDocument>
#include <QUrl>
#include <QVariant>

namespace fiscora {

namespace {

// A receipt is the server's HTML: whatever it names stays unloaded, local files included
// (QTextDocument would read a file: address or a relative path itself).
class IsolatedDocument final : public QTextDocument {
protected:
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

bool isReservedDeviceName(const QString& name) {
    static const QRegularExpression reserved(QStringLiteral("^(CON|PRN|AUX|NUL|COM[0-9]|LPT[0-9])(\\..*)?$"),
                                             QRegularExpression::CaseInsensitiveOption);
    return reserved.match(name).hasMatch();
}

QString cantWrite(const QString& path) {
    return QStringLiteral("Não foi possível gravar o recibo em %1.").arg(QDir::toNativeSeparators(path));
}

// On a worker thread: Qt lays text out and paints PDFs off the window thread too.
Result<KeptReceipt> keepNow(const QString& html, const QString& path) {
    QByteArray pdf;
    {
        QBuffer buffer(&pdf);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setTitle(QStringLiteral("Recibo"));
        writer.setCreator(QStringLiteral("Fiscora"));
        if (Status rendered = ReceiptFile::render(html, &writer); !rendered)
            return rendered.error();
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return AppError::message(cantWrite(path));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(pdf) != pdf.size() || !file.commit())
        return AppError::message(cantWrite(path));
    // Qt's hash, not libcrypto's: this runs on a pool thread, and libcrypto keeps state per thread
    // that a pool thread outliving its clean-up at exit would leave behind. A receipt is small.
    return KeptReceipt{
        path, QString::fromLatin1(QCryptographicHash::hash(pdf, QCryptographicHash::Sha256).toHex())};
}

} // namespace

Status ReceiptFile::render(const QString& html, QPagedPaintDevice* device) {
    // A receipt is a page of a few kilobytes; laying out a huge one would hold the program up.
    if (html.size() > kMaxHtmlChars)
        return AppError::message(QStringLiteral("O recibo recebido é grande demais para ser guardado."));
    IsolatedDocument document;
    document.setHtml(html);
    document.print(device);
    return {};
}

QString ReceiptFile::safeName(const QString& text) {
    static const QString refused = QStringLiteral("/\\:*?\"<>|");
    QString name;
    name.reserve(text.size());
    for (const QChar c : text) {
        const bool control =
            c.unicode() < 0x20 || c.unicode() == 0x7F || c.category() == QChar::Other_Control;
        name += control || refused.contains(c) ? QLatin1Char('_') : c;
    }
    name.truncate(name.size() > 100 && name.at(99).isHighSurrogate() ? 99 : 100);
    // Windows drops trailing blanks and dots, and a leading one hides or confuses.
    while (!name.isEmpty() && (name.back() == QLatin1Char(' ') || name.back() == QLatin1Char('.')))
        name.chop(1);
    while (!name.isEmpty() && (name.front() == QLatin1Char(' ') || name.front() == QLatin1Char('.')))
        name.remove(0, 1);
    if (name.isEmpty() || isReservedDeviceName(name))
        name.prepend(QLatin1Char('_'));
    return name;
}

Result<QString> ReceiptFile::path(const QString& documentsFolder, const QString& ie, const QString& name,
                                  const QString& reference, const QString& protocol) {
    static const QRegularExpression month(QStringLiteral("^(0[1-9]|1[0-2])/([0-9]{4})$"));
    const QRegularExpressionMatch match = month.match(reference.trimmed());
    if (documentsFolder.trimmed().isEmpty())
        return AppError::message(
            QStringLiteral("Nenhuma pasta de documentos foi escolhida para os recibos."));
    if (!match.hasMatch())
        return AppError::message(
            QStringLiteral("A referência \"%1\" não é um mês (MM/AAAA).").arg(reference));
    const QString taxpayer = name.trimmed().isEmpty() ? ie : ie + QStringLiteral(" - ") + name.trimmed();
    const QString folder = QStringLiteral("Fiscora/Recibos/%1/%2-%3")
                               .arg(safeName(taxpayer), match.captured(2), match.captured(1));
    return QDir(documentsFolder)
        .filePath(folder + QLatin1Char('/') + safeName(protocol) + QStringLiteral(".pdf"));
}

void ReceiptFile::keep(const QString& html, const QString& path, ModalGate& gate, QObject* context,
                       std::function<void(Result<KeptReceipt>)> done) {
    // Text is laid out with the fonts of a QGuiApplication; without one Qt gives up.
    const QCoreApplication* app = QCoreApplication::instance();
    const bool fonts = app && app->inherits("QGuiApplication");
    runWorkerJob<Result<KeptReceipt>>(
        gate, context,
        [html, path, fonts](const std::atomic<bool>&) -> Result<KeptReceipt> {
            if (!fonts) {
                static const QString why =
                    QStringLiteral(" O programa foi iniciado sem a interface gráfica.");
                return AppError::message(cantWrite(path) + why);
            }
            return keepNow(html, path);
        },
        std::move(done));
}

} // namespace fiscora
