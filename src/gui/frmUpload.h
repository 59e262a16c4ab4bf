#pragma once

#include "data/GiaDatabaseReader.h"
#include "gui/UploadWindow.h"

namespace fiscora {

struct Services;

// The GIA upload window: a NovaGIA export or a GIA text file (converted into the package first)
// is chosen in the browser, the taxpayer's GIAs are listed, a range of them is sent with the
// accountant's certificate. The answer refreshes the main window's list and unloads the window.
class frmUpload final : public UploadWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmUpload)

public:
    frmUpload(Session& session, const Services& services, QWidget* parent = nullptr);

    // "&Enviar".
    void send();

    // The hidden commands the file click runs: the text file's conversion into the package
    // (then the listing of the package), and the listing of txtUploadFile (shown once the file
    // is read; the window is inert meanwhile).
    void selPRF();
    void Command1();

    static const QString accountantAskText; // a < b
    static const QString acceptedOnlyText;  // otherwise

protected:
    void fileClick(const QString& path, const QString& name) override;
    void answered(const QString& text) override;
    void uploadFailed(const AppError& error) override;
    void closedWithoutAnswer() override;

private:
    void setUpGrid();
    void showListing(const GiaDatabaseReader::Listing& listing);
    // The selected rows of accepted years (number and reference); counts them in giaCerta and
    // shows the not-accepted message once per loading.
    QList<JournalGia> giaList();

    // The file the user clicked (the text file when the package is sent).
    QString m_clickedFile;
    int m_giaCerta = 0;
    bool m_msgTrabalho = false;
};

} // namespace fiscora
