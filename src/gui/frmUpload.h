#pragma once

#include <QWidget>

namespace fiscora {

class Session;

// The GIA upload window. Stays loaded when closed (it only hides), so the main window's caption rule sees the
// caption it left; closing enables the main window.
class frmUpload final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmUpload)

public:
    explicit frmUpload(Session& session, QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Session& m_session;
};

} // namespace fiscora
