#include "data/GiaConversion.h"

#include "data/GiaTextConverter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace fiscora {

namespace {

bool samePath(const QString& a, const QString& b) {
    const QFileInfo fa(a);
    const QFileInfo fb(b);
    if (fa.exists() && fb.exists())
        return fa.canonicalFilePath() == fb.canonicalFilePath();
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}

} // namespace

GiaConversion::Result GiaConversion::convert(const QString& textPath, const QString& packagePath,
                                             const QString& templatePath) {
    Result result;
    const QString prefix =
        QStringLiteral("Não foi possível converter o arquivo GIA %1.\n").arg(QFileInfo(textPath).fileName());
    const auto fail = [&](const QString& why) {
        result.message = prefix + why;
        return result;
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

    QString error;
    if (!GiaTextConverter::LerArquivo(textPath, packagePath, &error, &result.gias)) {
        QFile::remove(packagePath);
        result.gias = 0;
        return fail(error);
    }
    // An empty, binary or UTF-16 file has no record of its own types at all; it is not a GIA file.
    if (result.gias == 0) {
        QFile::remove(packagePath);
        return fail(QStringLiteral("O arquivo não contém nenhuma GIA (registro do tipo 05); não é um arquivo "
                                   "GIA pré-formatado (.prf)."));
    }
    result.ok = true;
    return result;
}

GiaConversion::Result GiaConversion::convertReplacing(const QString& textPath, const QString& outputPath,
                                                      const QString& templatePath) {
    Result result;
    const QFileInfo output(outputPath);
    if (samePath(outputPath, templatePath) || samePath(outputPath, textPath)) {
        result.message =
            QStringLiteral("Não foi possível converter o arquivo GIA %1.\n"
                           "O pacote não pode ser gravado sobre o modelo nem sobre o próprio arquivo GIA.")
                .arg(QFileInfo(textPath).fileName());
        return result;
    }
    // Same folder, so the rename below never crosses file systems.
    QTemporaryFile temporary(
        output.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(output.fileName())));
    if (!temporary.open()) {
        result.message = QStringLiteral("Não foi possível criar um arquivo temporário em %1: %2")
                             .arg(QDir::toNativeSeparators(output.absolutePath()), temporary.errorString());
        return result;
    }
    temporary.close();
    result = convert(textPath, temporary.fileName(), templatePath);
    if (!result.ok)
        return result;
    // rename(2) replaces the output in one step; QFile::rename would refuse an existing target.
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
                    QFile::encodeName(output.absoluteFilePath()).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(temporary.fileName());
        result = Result();
        result.message = QStringLiteral("Não foi possível gravar %1: %2").arg(output.fileName(), reason);
        return result;
    }
    temporary.setAutoRemove(false);
    return result;
}

} // namespace fiscora
