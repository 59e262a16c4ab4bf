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
#include "support/TestServices.h"
#include "support/TopLevelWindows.h"

#include "gui/FileBrowser.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QWindow>
#include <functional>

using namespace fiscora;
using namespace fiscora::test;
using namespace Qt::StringLiterals;

using Maker = std::function<QWidget*(Session&, const Services&)>;
Q_DECLARE_METATYPE(Maker)

class TecladoTest final : public QObject {
    Q_OBJECT

    Session m_session;
    FolderServices m_services;
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

    static void windows() {
        QTest::addColumn<Maker>("make");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<QString>("cancel"); // empty: Escape closes the window
        const auto row = [](const char* name, Maker make, const QString& ok, const QString& no) {
            QTest::newRow(name) << make << ok << no;
        };
        row(
            "contador",
            [](Session&, const Services& services) -> QWidget* { return new frmContador(services); },
            u"btnOK"_s, u"Command1"_s);
        row(
            "cria",
            [](Session&, const Services& services) -> QWidget* {
                return new frmtbl_CriaContribuinte(services);
            },
            u"cmdOK"_s, u"cmdCancelar"_s);
        row(
            "cadastro",
            [](Session&, const Services& services) -> QWidget* {
                return new frmtbl_CadastroContribuinte(services.seams);
            },
            u"cmdOK"_s, u"cmdCancelar"_s);
        row(
            "selecao",
            [](Session& s, const Services& services) -> QWidget* {
                return new frmtbl_SelecionaContribuinte(s, services.seams);
            },
            u"cmdOK"_s, u"cmdCancelar"_s);
        row(
            "atualizacao",
            [](Session& s, const Services& services) -> QWidget* {
                return new frmtbl_atualizarContribuinte(s, services.seams);
            },
            u"cmdOK"_s, u"cmdCancelar"_s);
        row(
            "exclusao",
            [](Session& s, const Services& services) -> QWidget* {
                return new frmtbl_exclusaoContribuinte(s, services.seams);
            },
            u"cmdOK"_s, u"cmdCancelar"_s);
        row(
            "upload",
            [](Session& s, const Services& services) -> QWidget* { return new frmUpload(s, services); },
            u"cmdUpload"_s, u"Command2"_s);
        row(
            "uploadSimples",
            [](Session& s, const Services& services) -> QWidget* {
                return new frmUploadSimples(s, services);
            },
            u"cmdUpload"_s, u"Command2"_s);
        row(
            "importar",
            [](Session&, const Services& services) -> QWidget* { return new ImportarEmpresas(services); },
            u"Command1"_s, QString());
        row(
            "abertura",
            [](Session&, const Services& services) -> QWidget* { return new Abertura(services.seams); },
            u"Command1"_s, u"Command3"_s);
    }

    // On an X display the keys are typed for real (XTest, through xdotool) as soon as the window
    // manager has made the window active, as a person would; offscreen they are posted to the widget.
    static bool realKeys() { return QGuiApplication::platformName() == u"xcb"_s; }

    // xdotool, while the event loop goes on: the window keeps answering the window manager.
    static bool xdotool(const QStringList& arguments, QByteArray* output = nullptr) {
        QProcess process;
        process.start(u"xdotool"_s, arguments);
        if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000)) {
            process.kill();
            process.waitForFinished();
            return false;
        }
        if (output)
            *output = process.readAllStandardOutput();
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    static QWidget* showActive(QWidget* window) {
        window->show();
        if (realKeys()) {
            const auto active = [window] {
                QByteArray id;
                return xdotool({u"getactivewindow"_s}, &id) && id.trimmed().toULongLong() == window->winId();
            };
            return QTest::qWaitFor(active, 20000) ? window : nullptr;
        }
        QApplication::setActiveWindow(window);
        return QTest::qWaitForWindowActive(window) ? window : nullptr;
    }

    // Typed keys, each told by its release reaching the window (a key taken by a shortcut never
    // arrives as a press); false when they did not arrive. Escape may close the window first.
    static bool type(QWidget* target, std::initializer_list<Qt::Key> keys) {
        if (!realKeys()) {
            for (Qt::Key key : keys)
                QTest::keyClick(target, key);
            return true;
        }
        struct Releases final : QObject {
            int count = 0;
            bool eventFilter(QObject*, QEvent* event) override {
                count += event->type() == QEvent::KeyRelease;
                return false;
            }
        } releases;
        const QPointer<QWindow> window = target->window()->windowHandle();
        window->installEventFilter(&releases);
        QStringList arguments{u"key"_s};
        for (Qt::Key key : keys)
            arguments << (key == Qt::Key_Return  ? u"Return"_s
                          : key == Qt::Key_Enter ? u"KP_Enter"_s
                                                 : u"Escape"_s);
        return xdotool(arguments) &&
               QTest::qWaitFor(
                   [&] { return !window || !window->isVisible() || releases.count == int(keys.size()); },
                   20000);
    }

private Q_SLOTS:
    void init() {
        m_folder = std::make_unique<ProgramFolderFixture>();
        m_boxes = std::make_unique<TestMessageBox>();
    }
    void cleanup() {
        deleteTopLevelWindows();
        m_services.reset();
        m_boxes.reset();
        m_folder.reset();
    }

    void returnConfirmsAndEscapeCancels_data() { windows(); }
    void returnConfirmsAndEscapeCancels() {
        QFETCH(Maker, make);
        QFETCH(QString, confirm);
        QFETCH(QString, cancel);
        QPointer<QWidget> window = showActive(make(m_session, m_services()));
        QVERIFY(window);
        QPushButton* ok = usableButton(window, confirm);
        QVERIFY(ok);
        QVERIFY(ok->isDefault());
        // Return from a text field confirms, as in a dialog.
        if (auto* field = window->findChild<QLineEdit*>())
            field->setFocus();
        QSignalSpy confirmed(ok, &QPushButton::clicked);
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window.data();
        QVERIFY(type(target, {Qt::Key_Return, Qt::Key_Enter}));
        QCOMPARE(confirmed.count(), 2);

        if (cancel.isEmpty()) {
            QVERIFY(type(target, {Qt::Key_Escape}));
            QTRY_VERIFY(!window || !window->isVisible());
            return;
        }
        QPushButton* no = usableButton(window, cancel);
        QVERIFY(no);
        QSignalSpy cancelled(no, &QPushButton::clicked);
        QVERIFY(type(target, {Qt::Key_Escape}));
        QCOMPARE(cancelled.count(), 1);
        QCOMPARE(confirmed.count(), 2);
    }

    // Return and Enter in every list, tree and grid act once: a grid's rows are what the default
    // button acts on; a list or a tree keeps the key (a folder opens, a file is chosen).
    void returnInEveryItemViewActsOnce_data() { windows(); }
    void returnInEveryItemViewActsOnce() {
        QFETCH(Maker, make);
        QFETCH(QString, confirm);
        QTemporaryDir files;
        QVERIFY(QDir(files.path()).mkdir(u"sub"_s));
        QFile(files.filePath(u"a.pdf"_s)).open(QIODevice::WriteOnly);
        m_session.setUploadFolder(files.path());
        QPointer<QWidget> window = showActive(make(m_session, m_services()));
        QVERIFY(window);
        QPushButton* ok = usableButton(window, confirm);
        QSignalSpy confirmed(ok, &QPushButton::clicked);
        for (QAbstractItemView* view : window->findChildren<QAbstractItemView*>()) {
            if (!view->isVisible())
                continue;
            // A file chosen in the GIA window is read by a helper: the window is inert until then.
            QTRY_VERIFY(window->isEnabled());
            if (view->model()->rowCount() > 0)
                view->setCurrentIndex(view->model()->index(view->model()->rowCount() - 1, 0));
            view->setFocus();
            // A file chosen by Return may have disabled it.
            ok->setEnabled(true);
            const int before = int(confirmed.count());
            QVERIFY(type(view, {Qt::Key_Return, Qt::Key_Enter}));
            QVERIFY(window);
            QCOMPARE(confirmed.count() - before, qobject_cast<QTableView*>(view) ? 2 : 0);
        }
    }

    void returnInTheFileBrowserOpensAndChooses() {
        QTemporaryDir files;
        QVERIFY(QDir(files.path()).mkdir(u"sub"_s));
        QFile(files.filePath(u"a.pdf"_s)).open(QIODevice::WriteOnly);
        m_session.setUploadFolder(files.path());
        QPointer<QWidget> window = showActive(new frmUploadSimples(m_session, m_services()));
        QVERIFY(window);
        auto* browser = window->findChild<FileBrowser*>();
        QSignalSpy chosen(browser, &FileBrowser::fileClicked);
        auto* fileList = window->findChild<QListWidget*>(u"file"_s);
        fileList->setCurrentRow(0);
        // A chosen document is read before the window takes keys again.
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
            fileList->setFocus();
            QVERIFY(type(fileList, {key}));
            QTRY_VERIFY(window->isEnabled());
        }
        QCOMPARE(chosen.count(), 2);
        QCOMPARE(chosen.first().at(1).toString(), u"a.pdf"_s);

        auto* folders = window->findChild<QTreeWidget*>(u"dir"_s);
        const QList<QTreeWidgetItem*> sub =
            folders->findItems(u"sub"_s, Qt::MatchExactly | Qt::MatchRecursive);
        QCOMPARE(sub.size(), 1);
        folders->setCurrentItem(sub.first());
        folders->setFocus();
        QVERIFY(type(folders, {Qt::Key_Return}));
        QCOMPARE(browser->folder(), QDir(files.path()).filePath(u"sub"_s));
        QVERIFY(window->isVisible());
    }

    // An open drop-down list takes Escape for itself: the list closes, the window stays.
    void escapeInAnOpenDropDownClosesOnlyTheList() {
        QPointer<QWidget> window = showActive(new frmUploadSimples(m_session, m_services()));
        QVERIFY(window);
        QPushButton* cancel = usableButton(window, u"Command2"_s);
        QSignalSpy cancelled(cancel, &QPushButton::clicked);
        auto* drives = window->findChild<QComboBox*>(u"Drive1"_s);
        drives->showPopup();
        QTRY_VERIFY(QApplication::activePopupWidget());
        QVERIFY(type(drives->view(), {Qt::Key_Escape}));
        QTRY_VERIFY(!QApplication::activePopupWidget());
        QCOMPARE(cancelled.count(), 0);
        QVERIFY(window->isVisible());
    }
};

QTEST_MAIN(TecladoTest)
#include "TecladoTest.moc"
