#pragma once

#include <QMainWindow>

namespace fiscora {

// The main window: the current taxpayer, the menus, the transmit command and the transmissions.
class Principal final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Principal)

public:
    explicit Principal(QWidget* parent = nullptr);
    ~Principal() override;

    // The program's one main window, or nullptr before it is first shown.
    static Principal* instance();
    // Creates the main window when needed and shows it.
    static Principal* showMain();
};

} // namespace fiscora
