#pragma once

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;

namespace fiscora {

class frmUpload;
class frmUploadSimples;
class frmtbl_CriaContribuinte;
class frmtbl_SelecionaContribuinte;
class frmtbl_atualizarContribuinte;
class frmtbl_exclusaoContribuinte;

// The main window: the current taxpayer, the menus, the transmit command and the transmissions.
// Other windows reach it through instance() and read or set what is public here.
class Principal final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Principal)

public:
    explicit Principal(QWidget* parent = nullptr);
    ~Principal() override;

    // The program's one main window, or nullptr before it is first shown.
    static Principal* instance();
    // Creates the main window when needed and shows it.
    static Principal* showMain();

    // The accountant's document as stored (with punctuation), set by the transmit command.
    QString thisCont_cpf_cnpj() const { return m_thisCont_cpf_cnpj; }
    // The server's date and time of the last valid list; zeroDateTime() before the first.
    QDateTime DataServidor() const { return m_DataServidor; }
    // The reference years the server accepts, as it writes them; empty before the first list.
    QString anoTrabalho() const { return m_anoTrabalho; }

    // The current taxpayer, kept only in the labels RSSel, IESel and lblChave.
    QString razaoSocialSelecionada() const;
    QString ieSelecionada() const;
    QString chaveSelecionada() const;
    // Makes a taxpayer current (the selection window): labels filled, the frame of past
    // transmissions and the transmit button shown. Fetches nothing.
    void selecionarContribuinte(const QString& razaoSocial, const QString& ie, const QString& chave);
    // The file chosen in an upload window.
    QString pathMDB() const;
    void setPathMDB(const QString& path);

    // Fetches the current taxpayer's transmissions and updates the window.
    void RecebeDadosServer();
    // Fills the grid from a list text; false when the rows cannot be selected (not XML).
    bool PopulaGridTransmissoes(const QString& XMLConteudo);
    // A click on a data row of the grid.
    void RecebeDadosProtocolo();
    // The receipt text into Text1, its length into Text2.
    void CarregaProtocolo(const QString& XMLConteudo);
    // Asks the system to open the address in the browser ("http://" added when missing).
    bool OpenBrowser(const QString& url);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildTransmissionsGrid();
    void dropTaxpayer();
    void buildReceiptTree(const QString& receipt);

    // Menu commands and buttons.
    void novoContribuinte();
    void selecionar();
    void atualizar();
    void excluir();
    void abrirContador();
    void sobre();
    void transmitir();
    void imprimirProtocolo();

    QString m_thisCont_cpf_cnpj;
    QDateTime m_DataServidor;
    QString m_anoTrabalho;

    QLabel* m_RSSel;
    QLabel* m_IESel;
    QLabel* m_lblChave;
    QLabel* m_PathMDB;
    QPushButton* m_Command1;
    QPushButton* m_Command3;
    QGroupBox* m_frmImportacao;
    QTableWidget* m_GridTransmissoes;
    QPushButton* m_cmdImpressao;
    QLabel* m_lblAtualizado;
    QLabel* m_lblnovaatualizacao;
    QLabel* m_labelOK;
    QLabel* m_detApuracao;
    QTreeWidget* m_tvwPessoa;
    QPlainTextEdit* m_Text1;
    QLineEdit* m_Text2;

    // Windows that stay loaded once opened (the upload windows keep their caption) or that
    // exist once at a time.
    QPointer<frmUpload> m_frmUpload;
    QPointer<frmUploadSimples> m_frmUploadSimples;
    QPointer<frmtbl_CriaContribuinte> m_frmCria;
    QPointer<frmtbl_SelecionaContribuinte> m_frmSeleciona;
    QPointer<frmtbl_atualizarContribuinte> m_frmAtualizar;
    QPointer<frmtbl_exclusaoContribuinte> m_frmExclusao;
};

} // namespace fiscora
