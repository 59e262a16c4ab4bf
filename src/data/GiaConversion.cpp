#include "data/GiaConversion.h"

#include "data/GiaTextConverter.h"

#include <QFile>
#include <QFileInfo>

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
    result.ok = true;
    return result;
}

} // namespace fiscora
