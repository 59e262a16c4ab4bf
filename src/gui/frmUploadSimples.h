#pragma once

#include <QWidget>

namespace fiscora {

class Session;

// The PGDAS upload window. Stays loaded when closed (it only hides); closing enables the main window.
class frmUploadSimples final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmUploadSimples)

public:
    explicit frmUploadSimples(Session& session, QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Session& m_session;
};

} // namespace fiscora
