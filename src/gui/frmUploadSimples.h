#pragma once

#include "gui/UploadWindow.h"

namespace fiscora {

// The PGDAS upload window: a Simples Nacional company's PDF declaration, sent unchanged with the
// accountant's certificate. The server's refusals are shown from markers in its answer; the
// answer refreshes the main window's list and unloads the window. Modeless: the main window stays
// enabled.
class frmUploadSimples final : public UploadWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmUploadSimples)

public:
    frmUploadSimples(Session& session, TransmissionJournal& journal, QWidget* parent = nullptr);

    // "&Enviar".
    void send();

    static const QString invalidFileText; // "Arquivo Inválido"
    // The pauses before and after the send call, and after the answer.
    static constexpr int kPauseBeforeSendMs = 50;
    static constexpr int kPauseAfterSendMs = 100;
    static constexpr int kPauseAfterAnswerMs = 1500;

protected:
    void fileClick(const QString& path, const QString& name) override;
    void answered(const QString& text) override;
    void uploadFailed(const AppError& error) override;
    void closedWithoutAnswer() override;
};

} // namespace fiscora
