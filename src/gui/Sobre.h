#pragma once

#include <QDialog>

namespace fiscora {

class Session;

// The about box. Closing it, by its button or its close box, enables and shows the main window.
class Sobre final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Sobre)

public:
    explicit Sobre(Session& session, QWidget* parent = nullptr);

protected:
    void done(int result) override;

private:
    Session& m_session;
};

} // namespace fiscora
