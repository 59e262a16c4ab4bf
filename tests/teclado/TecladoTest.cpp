#include "core/Session.h"
#include "gui/Abertura.h"
#include "gui/ImportarEmpresas.h"
#include "gui/frmContador.h"
#include "gui/frmUpload.h"
#include "gui/frmUploadSimples.h"
#include "gui/frmtbl_CadastroContribuinte.h"
#include "gui/frmtbl_CriaContribuinte.h"
#include "gui/frmtbl_SelecionaContribuinte.h"
#include "gui/frmtbl_atualizarContribuinte.h"
#include "gui/frmtbl_exclusaoContribuinte.h"
#include "support/ProgramFolderFixture.h"
#include "support/TestMessageBox.h"
#include "support/TopLevelWindows.h"

#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <functional>

using namespace fiscora;
using namespace fiscora::test;
using namespace Qt::StringLiterals;

using Maker = std::function<QWidget*(Session&)>;
Q_DECLARE_METATYPE(Maker)

class TecladoTest final : public QObject {
    Q_OBJECT

private:
    Session m_session;
    std::unique_ptr<ProgramFolderFixture> m_folder;
    std::unique_ptr<TestMessageBox> m_boxes;

    // The window shown and active, its button found and made usable, and its own action cut off so
    // only the key's effect is observed.
    static QPushButton* usableButton(QWidget* window, const QString& name) {
        auto* button = window->findChild<QPushButton*>(name);
        if (!button)
            return nullptr;
        button->setEnabled(true);
        button->show();
        QObject::disconnect(button, &QPushButton::clicked, nullptr, nullptr);
        return button;
    }

private Q_SLOTS:
    void init() {
        m_folder = std::make_unique<ProgramFolderFixture>();
        m_boxes = std::make_unique<TestMessageBox>();
    }
    void cleanup() {
        deleteTopLevelWindows();
        m_boxes.reset();
        m_folder.reset();
    }

    void returnConfirmsAndEscapeCancels_data() {
        QTest::addColumn<Maker>("make");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<QString>("cancel"); // empty: Escape closes the window
        const auto row = [](const char* name, Maker make, const QString& ok, const QString& no) {
            QTest::newRow(name) << make << ok << no;
        };
        row(
            "contador", [](Session& s) -> QWidget* { return new frmContador(s); }, u"btnOK"_s, u"Command1"_s);
        row(
            "cria", [](Session& s) -> QWidget* { return new frmtbl_CriaContribuinte(s); }, u"cmdOK"_s,
            u"cmdCancelar"_s);
        row(
            "cadastro", [](Session& s) -> QWidget* { return new frmtbl_CadastroContribuinte(s); }, u"cmdOK"_s,
            u"cmdCancelar"_s);
        row(
            "selecao", [](Session& s) -> QWidget* { return new frmtbl_SelecionaContribuinte(s); }, u"cmdOK"_s,
            u"cmdCancelar"_s);
        row(
            "atualizacao", [](Session& s) -> QWidget* { return new frmtbl_atualizarContribuinte(s); },
            u"cmdOK"_s, u"cmdCancelar"_s);
        row(
            "exclusao", [](Session& s) -> QWidget* { return new frmtbl_exclusaoContribuinte(s); }, u"cmdOK"_s,
            u"cmdCancelar"_s);
        row(
            "upload", [](Session& s) -> QWidget* { return new frmUpload(s); }, u"cmdUpload"_s, u"Command2"_s);
        row(
            "uploadSimples", [](Session& s) -> QWidget* { return new frmUploadSimples(s); }, u"cmdUpload"_s,
            u"Command2"_s);
        row(
            "importar", [](Session&) -> QWidget* { return new ImportarEmpresas; }, u"Command1"_s, QString());
        row(
            "abertura", [](Session& s) -> QWidget* { return new Abertura(s); }, u"Command1"_s, u"Command3"_s);
    }
    void returnConfirmsAndEscapeCancels() {
        QFETCH(Maker, make);
        QFETCH(QString, confirm);
        QFETCH(QString, cancel);
        QPointer<QWidget> window = make(m_session);
        window->show();
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        QPushButton* ok = usableButton(window, confirm);
        QVERIFY(ok);
        QVERIFY(ok->isDefault());
        // Return from a text field confirms, as in a dialog.
        if (auto* field = window->findChild<QLineEdit*>())
            field->setFocus();
        QSignalSpy confirmed(ok, &QPushButton::clicked);
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window.data();
        QTest::keyClick(target, Qt::Key_Return);
        QTest::keyClick(target, Qt::Key_Enter);
        QCOMPARE(confirmed.count(), 2);

        if (cancel.isEmpty()) {
            QTest::keyClick(target, Qt::Key_Escape);
            QTRY_VERIFY(!window || !window->isVisible());
            return;
        }
        QPushButton* no = usableButton(window, cancel);
        QVERIFY(no);
        QSignalSpy cancelled(no, &QPushButton::clicked);
        QTest::keyClick(target, Qt::Key_Escape);
        QCOMPARE(cancelled.count(), 1);
        QCOMPARE(confirmed.count(), 2);
    }
};

QTEST_MAIN(TecladoTest)
#include "TecladoTest.moc"
