#pragma once

#include "core/FileChooser.h"

namespace fiscora {

// The system's file-open dialog.
class DialogFileChooser final : public FileChooser {
protected:
    QString choose(QWidget* parent, const QString& caption, const QString& directory, const QString& filter,
                   const QString& defaultSuffix) override;
};

} // namespace fiscora
