#include "core/FileChooser.h"

#include "core/ModalGate.h"

namespace fiscora {

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
    const ModalGate::Box box(m_gate);
    return choose(mode, parent, caption, directory, filter, defaultSuffix);
}

} // namespace fiscora
