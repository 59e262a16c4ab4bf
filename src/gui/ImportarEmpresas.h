#pragma once

#include <QWidget>

namespace fiscora {

class Session;

// The company import from a NovaGIA export, opened by the taxpayer creation window. For now it
// only tells the user the import is not available yet.
class ImportarEmpresas final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ImportarEmpresas)

public:
    explicit ImportarEmpresas(Session& session, QWidget* parent = nullptr);

private:
    Session& m_session;
};

} // namespace fiscora
