#pragma once

#include "data/PgdasDocument.h"
#include "gui/UploadWindow.h"

namespace fiscora {

struct Services;

// The PGDAS upload window: a Simples Nacional company's PDF declaration, sent unchanged with the
// accountant's certificate. The chosen document's reference, read from its text, is shown; one
// the server lists already goes again only when the accountant says so. The server's refusals
// are shown from markers in its answer; the answer refreshes the main window's list and unloads
// the window. Modeless: the main window stays enabled.
class frmUploadSimples final : public UploadWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmUploadSimples)

public:
    frmUploadSimples(Session& session, const Services& services, QWidget* parent = nullptr);

    // "&Enviar".
    void send();

    static const QString invalidFileText; // "Arquivo Inválido"
    // The pause after the answer (those around the send are kPgdasPauses).
    static constexpr int kPauseAfterAnswerMs = 1500;

protected:
    void fileClick(const QString& path, const QString& name) override;
    void answered(const QString& text) override;
    void uploadFailed(const AppError& error) override;
    void closedWithoutAnswer() override;

private:
    void showDocument(const Result<PgdasDocument>& document);

    QString m_reference; // of the chosen document; empty when its text names none
};

} // namespace fiscora
