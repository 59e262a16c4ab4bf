#pragma once

#include <QWidget>

namespace fiscora {

// The taxpayer creation window: opens empty. Closing it, by any route, enables the main window.
class frmtbl_CriaContribuinte final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmtbl_CriaContribuinte)

public:
    explicit frmtbl_CriaContribuinte(QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;
};

} // namespace fiscora
