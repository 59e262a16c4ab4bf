#pragma once

#include "core/Result.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointer>

#include <functional>

#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;

namespace fiscora {

struct Services;

class BusyWindow;
class Session;
struct ListedTransmission;
struct TaxpayerList;
class TaxpayerListWindow;
class UploadWindow;
class frmEnvios;
class frmLote;
class frmSituacaoMes;
class frmUpload;
class frmUploadSimples;
class frmtbl_CriaContribuinte;
class frmtbl_SelecionaContribuinte;
class frmtbl_atualizarContribuinte;
class frmtbl_exclusaoContribuinte;

// The main window: shows the session's current taxpayer, the menus, the transmit command and the
// transmissions. The windows it opens tell it, by their signals, when it is enabled again and when
// the transmissions are listed again.
class Principal final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Principal)

public:
    Principal(Session& session, const Services& services, QWidget* parent = nullptr);
    ~Principal() override;

    Session& session() const { return m_session; }

    // Fetches the current taxpayer's transmissions and updates the window once they are in; a
    // request still under way is ended: the newest answer is shown.
    void RecebeDadosServer();
    // True while a list or a receipt is asked for.
    bool waitingForServer() const { return m_listJob || m_receiptJob || m_pageJob; }
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
    // The outcome of a list request; `installed` is the version stamp read when it was made.
    void showList(const Result<TaxpayerList>& list, const QString& installed);
    void showRows(const QList<QStringList>& rows, const QString& listText);
    // The labels, the frame of past transmissions and the transmit button follow the session.
    void showTaxpayer();
    // Another taxpayer is current: nothing of the previous one stays on screen or in an upload
    // window.
    void leaveTaxpayer();
    // After an upload, the status line names the references the refreshed list now shows for it,
    // with their protocols (of `rows`, as recordListedTransmissions gave them).
    void showListedSends(const QList<qint64>& rows,
                         const QHash<qint64, QList<ListedTransmission>>& protocols);
    void buildReceiptTree(const QString& receipt);
    // "N envios sem confirmação do servidor" for the current taxpayer, hidden when there is none.
    void showUnconfirmedNotice();

    // Another window gives the window back: it is enabled, and a wait of its own no longer puts
    // back the state it found.
    void reenable();
    // The links of the windows opened from here.
    void linkTaxpayerList(TaxpayerListWindow* window);
    // An upload window or the batch: it gives the main window back and changes the list.
    template <typename Window> void linkTransmitting(Window* window);
    frmLote* showBatch();

    // Menu commands and buttons.
    void newTaxpayer();
    void selecionar();
    void atualizar();
    void excluir();
    // Opening the accountant window enables this one.
    void openAccountant();
    void envios();
    // "Situação do mês": opened once, kept with its lists while it is open.
    void monthSituation();
    void sobre();
    void transmitir();
    void printProtocol();
    // A receipt page's job, the window busy until it ends.
    QObject* startPageJob();
    void endPageJob(QObject* job);
    // "Salvar PDF" and "Imprimir": the receipt page of the chosen row, then `use` with it.
    void withReceiptPage(
        std::function<void(const QString& html, const QString& reference, const QString& protocol)> use);
    void saveReceiptPdf();
    void printReceipt();

    Session& m_session;
    const Services& m_services;

    QLabel* m_RSSel;
    QLabel* m_IESel;
    QLabel* m_lblChave;
    QPushButton* m_Command1;
    QPushButton* m_Command3;
    QGroupBox* m_frmImportacao;
    QTableWidget* m_GridTransmissoes;
    QPushButton* m_cmdImpressao;
    QPushButton* m_cmdSalvarPdf;
    QPushButton* m_cmdImprimir;
    QLabel* m_lblAtualizado;
    QLabel* m_lblnovaatualizacao;
    QLabel* m_labelOK;
    QLabel* m_lblEnviosSemConfirmacao;
    QLabel* m_detApuracao;
    QTreeWidget* m_tvwPessoa;
    QPlainTextEdit* m_Text1;
    QLineEdit* m_Text2;

    // Windows that stay loaded once opened (the upload windows keep their caption) or that
    // exist once at a time.
    // The contexts of the list and receipt requests under way.
    QPointer<QObject> m_listJob;
    QPointer<QObject> m_receiptJob;
    QPointer<QObject> m_pageJob; // a receipt page to save or print
    // The window is busy while they run, unless another window decides its state meanwhile.
    std::shared_ptr<BusyWindow> m_listBusy;
    std::shared_ptr<BusyWindow> m_receiptBusy;
    std::shared_ptr<BusyWindow> m_pageBusy;
    QPointer<frmUpload> m_frmUpload;
    QPointer<frmUploadSimples> m_frmUploadSimples;
    // Upload windows of an earlier taxpayer whose upload is still running.
    QList<QPointer<QWidget>> m_leftWindows;
    // The taxpayer whose transmissions are shown.
    QString m_shownIE;
    QString m_shownKey;
    QPointer<frmtbl_CriaContribuinte> m_frmCria;
    QPointer<frmtbl_SelecionaContribuinte> m_frmSeleciona;
    QPointer<frmtbl_atualizarContribuinte> m_frmAtualizar;
    QPointer<frmtbl_exclusaoContribuinte> m_frmExclusao;
    QPointer<frmEnvios> m_frmEnvios;
    QPointer<frmLote> m_frmLote;
    QPointer<frmSituacaoMes> m_frmSituacaoMes;
};

} // namespace fiscora
