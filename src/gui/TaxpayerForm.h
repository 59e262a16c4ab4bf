#pragma once

#include "core/Seams.h"
#include "validation/FormRules.h"

#include <QWidget>

#include <optional>

class QCheckBox;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace fiscora {

// What the taxpayer creation and edit windows share: the fields of the frame " Contribuinte ",
// the red field-error label erroMsg, the checks made when the IE or CNPJ field is left, the form
// checks of OK and of the key request, and the word that the window closed (the main window is
// enabled again then).
class TaxpayerForm : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TaxpayerForm)

public:
    ~TaxpayerForm() override;

    // The texts as the fields deliver them: masked fields with their punctuation and "_" in every
    // position not typed.
    QString ie() const;
    QString companyName() const;
    QString cnpj() const;
    QString cnae() const;
    QString inscMunicipal() const;
    QString chave() const;
    bool inSimplesNacional() const;
    QString erroMsg() const;

    // Leaving the fields (also reached from a real focus change).
    void checkIeField();
    void checkCnpjField();

Q_SIGNALS:
    // The window was closed, by any route.
    void closed();

protected:
    TaxpayerForm(const Seams& seams, const QString& objectName, const QString& caption, QWidget* parent);

    const Seams m_seams;

    // The form's values for its checks.
    TaxpayerFields fields() const;
    // The field checks (IE, name, CNPJ, CNAE); the first failure shown in its message box.
    bool checkFields();
    // The field checks, then the key and the field-error label: the checks of OK.
    bool checkFieldsAndKey();
    // Whether the IE is stored; nothing after showing the database report.
    std::optional<bool> lookUpIe();
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
    bool passes(const FormCheck& failure);

    QVBoxLayout* m_layout;
};

} // namespace fiscora
