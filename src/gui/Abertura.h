#pragma once

#include "core/Seams.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace fiscora {

// The start-up window. "Iniciar" and "Sobre" unload it and say what was asked: the start-up code
// shows the main window, or the about box.
class Abertura final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Abertura)

public:
    explicit Abertura(const Seams& seams, QWidget* parent = nullptr);

    // While the version check runs, the buttons wait for it.
    void setChecking(bool checking);
    bool checking() const;

Q_SIGNALS:
    void startAsked();
    void aboutAsked();

private:
    void iniciar();
    void sobre();

    const Seams m_seams;
    QLabel* m_picture;
    QPushButton* m_iniciar;
    QPushButton* m_sobre;
    QPushButton* m_sair;
};

} // namespace fiscora
