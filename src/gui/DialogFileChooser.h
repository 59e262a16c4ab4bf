#pragma once

#include "core/FileChooser.h"

namespace fiscora {

// The system's file dialogs.
class DialogFileChooser final : public FileChooser {
public:
    using FileChooser::FileChooser;

protected:
    QString choose(Mode mode, QWidget* parent, const QString& caption, const QString& directory,
                   const QString& filter, const QString& defaultSuffix) override;
};

} // namespace fiscora
