#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;

namespace fiscora {

// The taxpayer edit window, opened filled in by the update list. Closing it, by any route,
// enables the main window.
class frmtbl_CadastroContribuinte final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmtbl_CadastroContribuinte)

public:
    explicit frmtbl_CadastroContribuinte(QWidget* parent = nullptr);

    // The row to edit: the list's columns and the stored CCM and Simples Nacional flag.
    void fill(const QString& ie, const QString& razaoSocial, const QString& cnpj, const QString& cnae,
              const QString& chave, const QString& ccm, bool optanteSimples);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLineEdit* m_txtIE;
    QLineEdit* m_txtRazaoSocial;
    QLineEdit* m_txtCNPJ;
    QLineEdit* m_txtCNAE;
    QLineEdit* m_Chave;
    QLineEdit* m_txtInscMunicipal;
    QCheckBox* m_flag_optantesimples;
};

} // namespace fiscora
