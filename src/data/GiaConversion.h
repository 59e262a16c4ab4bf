#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace fiscora {

class AccessReader;

// A GIA text file turned into a package database: the old package removed, the template copied
// in its place, read by the Access reader, the text file's records added
// (GiaTextConverter::LerArquivo). A failed conversion leaves no package behind.
class GiaConversion final {
public:
    struct Outcome {
        bool ok = false;
        QString message; // the reason, in Portuguese, when it failed
        int gias = 0;    // GIAs converted
    };

    using Handler = std::function<void(Outcome)>;

    // A job of `context` (data/AccessReader): `done` runs once, later (never inside the call), when
    // no box is up. When `context` goes first nothing is reported and no package is left behind.
    static void convert(const AccessReader& reader, const QString& textPath, const QString& packagePath,
                        const QString& templatePath, QObject* context, Handler done);

    // The same conversion into a new file of the output's folder, which replaces the output only
    // when it succeeded: a failure leaves an existing output as it was.
    static void convertReplacing(const AccessReader& reader, const QString& textPath,
                                 const QString& outputPath, const QString& templatePath, QObject* context,
                                 Handler done);
};

} // namespace fiscora
