#pragma once

#include "core/Seams.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace fiscora {

class Session;

// The layout, loading and selection rule shared by the three taxpayer lists: a caption, an
// instruction, the grid GridSelContribuinte (IE, name, CNPJ, CNAE, key) read from
// tblContribuinte once when the window opens, a search field above it that keeps only the rows whose
// IE, name or CNPJ match what is typed, and "&OK" / "&Cancelar". Closing the window, by any route,
// says so: the main window, which opened it, is enabled again then.
class TaxpayerListWindow : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TaxpayerListWindow)

public:
    enum Column { ColIE = 0, ColRazaoSocial = 1, ColCnpj = 2, ColCnae = 3, ColChave = 4 };

    ~TaxpayerListWindow() override;

Q_SIGNALS:
    // The window was closed, by any route.
    void closed();

protected:
    TaxpayerListWindow(Session& session, const Seams& seams, const QString& name, const QString& caption,
                       const QString& instruction, QWidget* parent);

    // The window's action on the current row (cmdOK).
    virtual void accept() = 0;

    // A current row whose name is neither empty nor the header text.
    bool validSelection() const;
    // A cell of the current row; empty without one.
    QString cell(Column column) const;

    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void load();
    void search(const QString& text);

protected:
    Session& m_session;
    const Seams m_seams;

private:
    QLabel* m_Label1;
    QLineEdit* m_txtPesquisa;
    QTableWidget* m_GridSelContribuinte;
    QPushButton* m_cmdOK;
    QPushButton* m_cmdCancelar;
};

} // namespace fiscora
