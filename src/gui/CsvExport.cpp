#include "gui/CsvExport.h"

#include "core/AppTexts.h"
#include "core/FileChooser.h"
#include "core/MessageBox.h"

#include <QDir>

namespace fiscora {

void exportCsvFile(const Seams& seams, QWidget* parent, const QString& proposedName,
                   const std::function<Status(const QString&)>& write, const QString& exported) {
    const QString path =
        seams.files.saveFile(parent, QStringLiteral("Exportar CSV"), QDir::home().filePath(proposedName),
                             QStringLiteral("Planilhas CSV (*.csv)"), QStringLiteral("csv"));
    if (path.isEmpty())
        return;
    if (const Status written = write(path); !written) {
        seams.messages.show(AppTexts::productTitle,
                            QStringLiteral("Não foi possível gravar o arquivo %1: %2")
                                .arg(QDir::toNativeSeparators(path), written.error().description),
                            MessageIcon::Critical);
        return;
    }
    seams.messages.show(AppTexts::productTitle, exported.arg(QDir::toNativeSeparators(path)),
                        MessageIcon::Information);
}

} // namespace fiscora
