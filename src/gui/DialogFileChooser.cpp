#include "gui/DialogFileChooser.h"

#include <QFileDialog>

namespace fiscora {

QString DialogFileChooser::choose(QWidget* parent, const QString& caption, const QString& directory,
                                  const QString& filter) {
    return QFileDialog::getOpenFileName(parent, caption, directory, filter);
}

} // namespace fiscora
