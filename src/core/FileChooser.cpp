#include "core/FileChooser.h"

namespace fiscora {

namespace {
FileChooser* g_current = nullptr;
} // namespace

QString FileChooser::openFile(QWidget* parent, const QString& caption, const QString& directory,
                              const QString& filter, const QString& defaultSuffix) {
    // Without a window system installed there is nobody to ask: the choice is cancelled.
    return g_current ? g_current->choose(parent, caption, directory, filter, defaultSuffix) : QString();
}

void FileChooser::install(FileChooser* implementation) {
    g_current = implementation;
}

} // namespace fiscora
