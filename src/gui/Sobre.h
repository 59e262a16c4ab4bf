#pragma once

#include <QDialog>

namespace fiscora {

// The about box. Closing it, by its button or its close box, ends it with finished(): its opener
// enables and shows the main window then.
class Sobre final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Sobre)

public:
    explicit Sobre(QWidget* parent = nullptr);
};

} // namespace fiscora
