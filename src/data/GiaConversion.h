#pragma once

#include <QString>

namespace fiscora {

// A GIA text file turned into a package database: the old package removed, the template copied
// in its place, the text file's records added (GiaTextConverter::LerArquivo). A failed
// conversion leaves no package behind.
class GiaConversion final {
public:
    struct Result {
        bool ok = false;
        QString message; // the reason, in Portuguese, when it failed
        int gias = 0;    // GIAs converted
    };

    static Result convert(const QString& textPath, const QString& packagePath, const QString& templatePath);

    // The same conversion into a new file of the output's folder, which replaces the output only
    // when it succeeded: a failure leaves an existing output as it was.
    static Result convertReplacing(const QString& textPath, const QString& outputPath,
                                   const QString& templatePath);
};

} // namespace fiscora
