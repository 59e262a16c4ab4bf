#pragma once

#include <QString>

class QWidget;

namespace fiscora {

// The file-open dialog. Tests install one that answers with a path or cancels (empty text).
class FileChooser {
public:
    virtual ~FileChooser() = default;

    // defaultSuffix (without the dot) is added to a name typed without one.
    static QString openFile(QWidget* parent, const QString& caption, const QString& directory,
                            const QString& filter, const QString& defaultSuffix = QString());
    static void install(FileChooser* implementation);

protected:
    virtual QString choose(QWidget* parent, const QString& caption, const QString& directory,
                           const QString& filter, const QString& defaultSuffix) = 0;
};

} // namespace fiscora
