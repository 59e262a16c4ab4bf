#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace fiscora {

struct Services;

// The accountant registration: sends the accountant to the server and keeps him as the single
// row of tblContador. One window at a time; every opening reads the table afresh. Its opener
// enables the main window as it opens it.
class frmContador final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmContador)

public:
    explicit frmContador(const Services& services, QWidget* parent = nullptr);
    ~frmContador() override;

    // The open window, raised, or a new one loaded from the table.
    static frmContador* showWindow(const Services& services);

    // The host named in the connection-failure messages.
    static const QString defaultServerHost;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void load();
    void setDocumentMask(const QString& mask);
    bool isCpf() const;
    void checkDocument();
    void ok();
    // Checks and saves the fields typed when OK was pressed, once the server has been told.
    void save(const QStringList& typed);
    void remove();
    void showConnectionFailure(const QString& code);
    void fail(const QString& message);

    const Services& m_services;
    QRadioButton* m_opt_fisica;
    QRadioButton* m_opt_juridica;
    QLineEdit* m_txtCNPJCPF;
    QLineEdit* m_txtCRC;
    QLineEdit* m_txtRazaoSocial;
    QLineEdit* m_txtLogradouro;
    QLineEdit* m_txtNumero;
    QLineEdit* m_txtComplemento;
    QLineEdit* m_txtBairro;
    QLineEdit* m_txtCidade;
    QLineEdit* m_txtUF;
    QLineEdit* m_txtTelefone;
    QLineEdit* m_txtCEP;
    QLineEdit* m_txtEmail;
    QLabel* m_erroMsg;
    QPushButton* m_btnOK;
    QPushButton* m_Command1;
    QPushButton* m_Command2;
};

} // namespace fiscora
