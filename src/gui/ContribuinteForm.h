#pragma once

#include <QWidget>

class QCheckBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace fiscora {

class Session;

// What the taxpayer creation and edit windows share: the fields of the frame " Contribuinte ",
// the red field-error label erroMsg, the checks made when the IE or CNPJ field is left, the form
// checks of OK and of the key request, and the re-enabling of the main window on closing.
class ContribuinteForm : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ContribuinteForm)

public:
    ~ContribuinteForm() override;

    // The texts as the fields deliver them: masked fields with their punctuation and "_" in every
    // position not typed.
    QString ie() const;
    QString razaoSocial() const;
    QString cnpj() const;
    QString cnae() const;
    QString inscMunicipal() const;
    QString chave() const;
    bool optanteSimples() const;
    QString erroMsg() const;

    // Leaving the fields (also reached from a real focus change).
    void txtIE_LostFocus();
    void txtCNPJ_LostFocus();

protected:
    ContribuinteForm(Session& session, const QString& objectName, const QString& caption, QWidget* parent);

    Session& m_session;

    // Form checks 1 to 6 (IE, name, CNPJ, CNAE), each failure in its own message box.
    bool checkFields();
    // Checks 7 and 8 of the OK command (the key, the field-error label).
    bool checkKeyAndErrors();
    // Whether the IE is stored; false after showing the database report.
    bool lookUpIe(bool* exists);
    void setErroMsg(const QString& text);

    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The layout below the frame: subclasses add their buttons here.
    QVBoxLayout* mainLayout() const { return m_layout; }
    QPushButton* addButtonRow(); // returns cmdOK; cmdCancelar closes the window

    QLineEdit* m_txtIE;
    QLineEdit* m_txtRazaoSocial;
    QLineEdit* m_txtCNPJ;
    QLineEdit* m_txtCNAE;
    QLineEdit* m_txtInscMunicipal;
    QCheckBox* m_flag_optantesimples;
    QLineEdit* m_Chave;
    QLabel* m_erroMsg;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdCancelar = nullptr;

private:
    QVBoxLayout* m_layout;
};

} // namespace fiscora
