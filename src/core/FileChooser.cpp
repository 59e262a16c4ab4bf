#include "core/FileChooser.h"

#include "core/ModalGate.h"

namespace fiscora {

namespace {
FileChooser* g_current = nullptr;
} // namespace

QString FileChooser::openFile(QWidget* parent, const QString& caption, const QString& directory,
                              const QString& filter, const QString& defaultSuffix) {
    return ask(Mode::Open, parent, caption, directory, filter, defaultSuffix);
}

QString FileChooser::saveFile(QWidget* parent, const QString& caption, const QString& proposed,
                              const QString& filter, const QString& defaultSuffix) {
    return ask(Mode::Save, parent, caption, proposed, filter, defaultSuffix);
}

QString FileChooser::chooseFolder(QWidget* parent, const QString& caption, const QString& directory) {
    return ask(Mode::Folder, parent, caption, directory, {}, {});
}

QString FileChooser::ask(Mode mode, QWidget* parent, const QString& caption, const QString& directory,
                         const QString& filter, const QString& defaultSuffix) {
    // Without a window system installed there is nobody to ask: the choice is cancelled.
    if (!g_current)
        return {};
    const ModalGate gate;
    return g_current->choose(mode, parent, caption, directory, filter, defaultSuffix);
}

void FileChooser::install(FileChooser* implementation) {
    g_current = implementation;
}

} // namespace fiscora
