#include "ui/FileChooser.h"

#include <QFileDialog>

namespace fiscora {

namespace {

class DialogFileChooser final : public FileChooser {
protected:
    QString choose(QWidget* parent, const QString& caption, const QString& directory,
                   const QString& filter) override {
        return QFileDialog::getOpenFileName(parent, caption, directory, filter);
    }
};

DialogFileChooser g_dialog;
FileChooser* g_current = nullptr;

} // namespace

QString FileChooser::openFile(QWidget* parent, const QString& caption, const QString& directory,
                              const QString& filter) {
    FileChooser* chooser = g_current ? g_current : &g_dialog;
    return chooser->choose(parent, caption, directory, filter);
}

void FileChooser::install(FileChooser* implementation) {
    g_current = implementation;
}

} // namespace fiscora
