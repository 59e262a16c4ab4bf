#include "gui/DialogFileChooser.h"

#include <QFileDialog>

namespace fiscora {

QString DialogFileChooser::choose(Mode mode, QWidget* parent, const QString& caption,
                                  const QString& directory, const QString& filter,
                                  const QString& defaultSuffix) {
    QFileDialog dialog(parent, caption, directory, filter);
    if (mode == Mode::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else if (mode == Mode::Folder) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

} // namespace fiscora
