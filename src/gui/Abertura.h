#pragma once

#include "core/Seams.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace fiscora {

class Session;

// The start-up window.
class Abertura final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Abertura)

public:
    Abertura(Session& session, const Seams& seams, QWidget* parent = nullptr);

    // While the version check runs, the buttons wait for it.
    void setChecking(bool checking);
    bool checking() const;

private:
    void iniciar();
    void sobre();

    Session& m_session;
    const Seams m_seams;
    QLabel* m_picture;
    QPushButton* m_iniciar;
    QPushButton* m_sobre;
    QPushButton* m_sair;
};

} // namespace fiscora
