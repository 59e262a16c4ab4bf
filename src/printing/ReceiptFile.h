#pragma once

#include "core/Result.h"

#include <QObject>
#include <QString>

#include <functional>

class QPagedPaintDevice;

namespace fiscora {

class ModalGate;

// A transmission's receipt kept as a PDF file, rendered here from the receipt's HTML: nothing it
// names (images, style sheets, scripts) is loaded, from the network or from this computer. Needs
// a QGuiApplication (fonts).
struct KeptReceipt {
    QString path;
    QString sha256; // of the file as written, lower-case hex
};

class ReceiptFile final {
public:
    // A receipt is a page of a few kilobytes. Laying out text grows faster than its length: one
    // endless word takes about a second at this bound, and 90 s at a megabyte.
    static constexpr qsizetype kMaxHtmlChars = 64 * 1024;

    // <documents>/Fiscora/Recibos/<IE> - <name>/<yyyy-MM>/<protocol>.pdf, each part made safe as a
    // file name. `reference` is "MM/yyyy"; fails when it is not, or when no documents folder is set.
    static Result<QString> path(const QString& documentsFolder, const QString& ie, const QString& name,
                                const QString& reference, const QString& protocol);

    // Renders the HTML into a PDF written to a temporary file beside `path` and renamed into
    // place, creating the folders. Fails, in Portuguese, when the HTML is longer than
    // kMaxHtmlChars or the folder or the file cannot be written; an earlier file at `path` is
    // then left as it was.
    // The first receipt takes a tenth of a second (fonts), a long one up to a second, so this is
    // a job of `context` on a worker thread (core/WorkerJob): `done` runs once, later, on the
    // context's thread, through `gate`.
    static void keep(const QString& html, const QString& path, ModalGate& gate, QObject* context,
                     std::function<void(Result<KeptReceipt>)> done);

    // Lays the HTML out on the device's pages (a printer, a PDF writer) as keep() does, loading
    // nothing it names; fails as keep() does for a page longer than kMaxHtmlChars.
    static Status render(const QString& html, QPagedPaintDevice* device);

    // A text usable as one file or folder name on Linux and Windows alike: no separators or
    // characters Windows refuses, no control characters, no reserved device name, no leading
    // or trailing blanks or dots, at most 100 characters; "_" stands for what is left out.
    static QString safeName(const QString& text);
};

} // namespace fiscora
