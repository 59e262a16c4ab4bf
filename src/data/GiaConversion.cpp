#include "data/GiaConversion.h"

#include "core/ModalGate.h"
#include "data/AccessReader.h"
#include "data/GiaTextConverter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

namespace fiscora {

namespace {

bool samePath(const QString& a, const QString& b) {
    const QFileInfo fa(a);
    const QFileInfo fb(b);
    if (fa.exists() && fb.exists())
        return fa.canonicalFilePath() == fb.canonicalFilePath();
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}

// A failure found before the read is told later too, as the read's outcome is.
void reportLater(const AccessReader& reader, QObject* context, const GiaConversion::Handler& done,
                 const GiaConversion::Outcome& result) {
    reader.gate().deliverLater(context, [done, result] { done(result); });
}

// A file of the conversion that is removed unless kept: also when its continuation is dropped
// unrun, its context gone.
class MadeFile final {
public:
    explicit MadeFile(QString path)
        : m_path(std::move(path)) {}
    ~MadeFile() {
        if (!m_settled)
            QFile::remove(m_path);
    }
    MadeFile(const MadeFile&) = delete;
    MadeFile& operator=(const MadeFile&) = delete;

    void settle(bool keep) {
        if (!keep)
            QFile::remove(m_path);
        m_settled = true;
    }

private:
    QString m_path;
    bool m_settled = false;
};

} // namespace

void GiaConversion::convert(const AccessReader& reader, const QString& textPath, const QString& packagePath,
                            const QString& templatePath, QObject* context, Handler done) {
    const QString prefix =
        QStringLiteral("Não foi possível converter o arquivo GIA %1.\n").arg(QFileInfo(textPath).fileName());
    const auto fail = [&](const QString& why) {
        Outcome result;
        result.message = prefix + why;
        reportLater(reader, context, done, result);
    };
    // The package is deleted first: it must be neither the template nor the text file.
    if (samePath(packagePath, templatePath) || samePath(packagePath, textPath))
        return fail(
            QStringLiteral("O pacote não pode ser gravado sobre o modelo nem sobre o próprio arquivo GIA."));
    if (!QFileInfo(templatePath).isFile()) {
        return fail(QStringLiteral("O modelo do pacote (%1) não foi encontrado na pasta do programa.")
                        .arg(QFileInfo(templatePath).fileName()));
    }
    if (QFileInfo::exists(packagePath) && !QFile::remove(packagePath)) {
        return fail(QStringLiteral("O pacote anterior (%1) não pôde ser apagado.")
                        .arg(QFileInfo(packagePath).fileName()));
    }
    if (!QFile::copy(templatePath, packagePath)) {
        QFile::remove(packagePath);
        return fail(
            QStringLiteral("O modelo não pôde ser copiado para %1.").arg(QFileInfo(packagePath).fileName()));
    }
    // An installed template may be read-only; its copy is rewritten.
    QFile::setPermissions(packagePath, QFile::permissions(packagePath) | QFileDevice::WriteOwner);

    auto package = std::make_shared<MadeFile>(packagePath);
    reader.readAll(
        packagePath, context,
        [textPath, packagePath, prefix, package, done = std::move(done)](const AccessReader::Reading& read) {
            Outcome result;
            const Result<int> gias = GiaTextConverter::LerArquivo(textPath, packagePath, read);
            if (!gias) {
                package->settle(false);
                result.message = prefix + gias.error().description;
            } else if (*gias == 0) {
                // An empty, binary or UTF-16 file has no record of its own types at all; it is not a
                // GIA file.
                package->settle(false);
                result.message =
                    prefix +
                    QStringLiteral("O arquivo não contém nenhuma GIA (registro do tipo 05); não é um "
                                   "arquivo GIA pré-formatado (.prf).");
            } else {
                package->settle(true);
                result.ok = true;
                result.gias = *gias;
            }
            done(result);
        });
}

void GiaConversion::convertReplacing(const AccessReader& reader, const QString& textPath,
                                     const QString& outputPath, const QString& templatePath, QObject* context,
                                     Handler done) {
    const QFileInfo output(outputPath);
    if (samePath(outputPath, templatePath) || samePath(outputPath, textPath)) {
        Outcome result;
        result.message =
            QStringLiteral("Não foi possível converter o arquivo GIA %1.\n"
                           "O pacote não pode ser gravado sobre o modelo nem sobre o próprio arquivo GIA.")
                .arg(QFileInfo(textPath).fileName());
        return reportLater(reader, context, done, result);
    }
    // Same folder, so the rename below never crosses file systems.
    QTemporaryFile temporary(
        output.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(output.fileName())));
    if (!temporary.open()) {
        Outcome result;
        result.message = QStringLiteral("Não foi possível criar um arquivo temporário em %1: %2")
                             .arg(QDir::toNativeSeparators(output.absolutePath()), temporary.errorString());
        return reportLater(reader, context, done, result);
    }
    temporary.setAutoRemove(false);
    temporary.close();
    const QString temporaryPath = temporary.fileName();
    auto made = std::make_shared<MadeFile>(temporaryPath);
    convert(reader, textPath, temporaryPath, templatePath, context,
            [temporaryPath, output, made, done = std::move(done)](Outcome result) {
                if (!result.ok) {
                    made->settle(false);
                    done(result);
                    return;
                }
                // rename(2) replaces the output in one step; QFile::rename would refuse an existing
                // target.
                if (std::rename(QFile::encodeName(temporaryPath).constData(),
                                QFile::encodeName(output.absoluteFilePath()).constData()) != 0) {
                    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
                    made->settle(false);
                    result = Outcome();
                    result.message =
                        QStringLiteral("Não foi possível gravar %1: %2").arg(output.fileName(), reason);
                    done(result);
                    return;
                }
                made->settle(true);
                done(result);
            });
}

} // namespace fiscora
