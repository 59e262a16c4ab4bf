#include "data/PgdasMatching.h"

#include "core/ModalGate.h"
#include "data/PgdasDocument.h"
#include "validation/Documents.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QThreadPool>

#include <atomic>
#include <memory>

namespace fiscora {

namespace {

QString cnpjList(const QStringList& cnpjs) {
    QStringList formatted;
    for (const QString& cnpj : cnpjs)
        formatted.append(PgdasDocument::formatCnpj(cnpj));
    return formatted.join(QStringLiteral(", "));
}

// What the worker and the job's receiver share: the receiver, while it is there. The worker
// posts to it only under the lock, so it never posts to a receiver that is being destroyed.
struct Delivery {
    QMutex mutex;
    QObject* receiver = nullptr;
    std::atomic<bool> cancelled = false;
};

// Lives on the context's thread as its child: gone with it, and then nothing is delivered.
class Receiver final : public QObject {
public:
    Receiver(QObject* context, std::shared_ptr<Delivery> delivery)
        : QObject(context)
        , m_delivery(std::move(delivery)) {
        m_delivery->receiver = this;
    }
    ~Receiver() override {
        m_delivery->cancelled = true;
        const QMutexLocker lock(&m_delivery->mutex);
        m_delivery->receiver = nullptr;
    }

private:
    std::shared_ptr<Delivery> m_delivery;
};

Result<QList<PgdasMatch>> matchAll(const QString& folder, const QList<Taxpayer>& taxpayers,
                                   const Delivery& delivery) {
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists() || !dir.isReadable())
        return AppError::message(QStringLiteral("A pasta %1 não existe ou não pode ser lida.").arg(folder));
    QList<PgdasMatch> matches;
    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*.pdf")}, QDir::Files | QDir::Readable | QDir::Hidden,
                          QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& file : files) {
        if (delivery.cancelled)
            break;
        // The name filter ignores case; the suffix must be the last one.
        if (file.suffix().compare(QStringLiteral("pdf"), Qt::CaseInsensitive) == 0)
            matches.append(PgdasMatching::match(file.absoluteFilePath(), taxpayers));
    }
    return matches;
}

} // namespace

PgdasMatch PgdasMatching::match(const QString& path, const QList<Taxpayer>& taxpayers) {
    PgdasMatch match;
    match.path = path;
    const Result<PgdasDocument> document = PgdasDocument::read(path);
    if (!document) {
        match.outcome = PgdasMatch::Outcome::Unreadable;
        match.why = document.error().description;
        return match;
    }
    match.reference = document->reference;
    QStringList cnpjs = PgdasDocument::cnpjsIn(QFileInfo(path).completeBaseName());
    if (cnpjs.isEmpty())
        cnpjs = document->cnpjs;
    if (cnpjs.isEmpty()) {
        match.outcome = PgdasMatch::Outcome::NoCnpj;
        match.why = QStringLiteral("Nenhum CNPJ válido no nome nem no texto do arquivo.");
        return match;
    }
    QList<Taxpayer> found;
    for (const Taxpayer& taxpayer : taxpayers) {
        if (cnpjs.contains(cnpjCharacters(taxpayer.Cnpj)))
            found.append(taxpayer);
    }
    if (found.isEmpty()) {
        match.outcome = PgdasMatch::Outcome::NoTaxpayer;
        match.why =
            cnpjs.size() == 1
                ? QStringLiteral("Nenhum contribuinte cadastrado com o CNPJ %1.").arg(cnpjList(cnpjs))
                : QStringLiteral("Nenhum contribuinte cadastrado com os CNPJs %1.").arg(cnpjList(cnpjs));
        return match;
    }
    if (found.size() > 1) {
        QStringList labels;
        for (const Taxpayer& taxpayer : found)
            labels.append(taxpayerLabel(taxpayer.IE, taxpayer.RazaoSocial));
        match.outcome = PgdasMatch::Outcome::Ambiguous;
        match.why = QStringLiteral("O arquivo corresponde a mais de um contribuinte cadastrado: %1.")
                        .arg(labels.join(QStringLiteral("; ")));
        return match;
    }
    match.taxpayer = found.front();
    if (!match.taxpayer.OptanteSimples) {
        match.outcome = PgdasMatch::Outcome::NotSimples;
        match.why = QStringLiteral("O contribuinte %1 não é optante do Simples Nacional.")
                        .arg(taxpayerLabel(match.taxpayer.IE, match.taxpayer.RazaoSocial));
        return match;
    }
    match.outcome = PgdasMatch::Outcome::Matched;
    return match;
}

void PgdasMatching::matchFolder(const QString& folder, const QList<Taxpayer>& taxpayers, QObject* context,
                                std::function<void(Result<QList<PgdasMatch>>)> done) {
    auto delivery = std::make_shared<Delivery>();
    auto* receiver = new Receiver(context, delivery);
    QThreadPool::globalInstance()->start([folder, taxpayers, delivery, context, done = std::move(done)] {
        Result<QList<PgdasMatch>> result = matchAll(folder, taxpayers, *delivery);
        const QMutexLocker lock(&delivery->mutex);
        if (!delivery->receiver)
            return;
        QMetaObject::invokeMethod(
            delivery->receiver,
            [receiver = delivery->receiver, context, done, result = std::move(result)] {
                receiver->deleteLater();
                ModalGate::deliver(context, [done, result] { done(result); });
            },
            Qt::QueuedConnection);
    });
    Q_UNUSED(receiver);
}

} // namespace fiscora
