#include "gui/CertificateDialog.h"
#include "certificates/CertificateChooser.h"
#include "certificates/CertificateStore.h"
#include "core/FileChooser.h"
#include "gui/CertificateListModel.h"
#include "gui/DialogCertificateChooser.h"
#include "support/TestCertificateChooser.h"
#include "support/TestMessageBox.h"
#include "support/TestSeams.h"
#include "support/TopLevelWindows.h"
#include "support/Widgets.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace fiscora;
using namespace fiscora::test;

namespace {

// Answers the file dialog with a fixed path.
class FixedFileChooser final : public FileChooser {
public:
    explicit FixedFileChooser(QString path)
        : FileChooser(sharedSeams().gate)
        , m_path(std::move(path)) {
        sharedSeams().files.test = this;
    }
    ~FixedFileChooser() override { sharedSeams().files.test = nullptr; }
    FixedFileChooser(const FixedFileChooser&) = delete;
    FixedFileChooser& operator=(const FixedFileChooser&) = delete;

protected:
    QString choose(Mode, QWidget*, const QString&, const QString&, const QString&, const QString&) override {
        return m_path;
    }

private:
    QString m_path;
};

QString screenshotFolder() {
    const QString folder = QStringLiteral(FISCORA_BIN_DIR "/../capturas");
    QDir().mkpath(folder);
    return folder;
}

} // namespace

class CertificateDialogTest final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_folder;
    DialogCertificateChooser m_dialogChooser{sharedSeams()()};

    QPushButton* button(QWidget* dialog, const char* name) {
        return dialog->findChild<QPushButton*>(QString::fromLatin1(name));
    }

private Q_SLOTS:
    void init() {
        m_folder =
            m_dir.filePath(QStringLiteral("certificados-%1").arg(QRandomGenerator::global()->generate()));
        const CertificateStore store(m_folder);
        for (const char* name : {"empresa", "contador", "expirado", "terceiro"})
            QVERIFY(store.importFile(certificateFixture(QString::fromLatin1(name) + QStringLiteral(".cer")))
                        .ok());
        sharedSeams().clock.fix(QDateTime(QDate(2030, 6, 1), QTime(12, 0), Qt::UTC));
        sharedSeams().certificates.test = &m_dialogChooser;
    }

    void cleanup() {
        sharedSeams().clock.fix({});
        sharedSeams().certificates.test = nullptr;
    }

    void modelMarksExpiredRows() {
        const Result<QList<Certificate>> read = CertificateStore(m_folder).list();
        QVERIFY(read);
        QList<Certificate> listed = *read;
        CertificateListModel model(sharedSeams().clock);
        model.setCertificates(listed);
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(model.headerData(CertificateListModel::ValidoAte, Qt::Horizontal).toString(),
                 QStringLiteral("Válido até"));
        int expired = 0;
        for (int row = 0; row < model.rowCount(); ++row) {
            const bool isExpired = model.index(row, 0).data(CertificateListModel::ExpiredRole).toBool();
            const QString until = model.index(row, CertificateListModel::ValidoAte).data().toString();
            QCOMPARE(until.endsWith(QStringLiteral(" (expirado)")), isExpired);
            QCOMPARE(model.index(row, 0).data(Qt::ForegroundRole).isValid(), isExpired);
            if (isExpired) {
                ++expired;
                QCOMPARE(model.certificate(row), fixtureCertificate(QStringLiteral("expirado")));
            }
        }
        QCOMPARE(expired, 1);
        const int contador = model.rowOf(fixtureCertificate(QStringLiteral("contador")));
        QCOMPARE(model.index(contador, CertificateListModel::Documento).data().toString(),
                 QStringLiteral("111.444.777-35"));
        QCOMPARE(model.index(contador, CertificateListModel::EmitidoPor).data().toString(),
                 QStringLiteral("AC Valdorra Teste"));
    }

    void okOnlyWithSelectionAndSearch_data() {
        QTest::addColumn<QString>("search");
        QTest::addColumn<int>("rows");
        QTest::newRow("nothing typed") << "" << 4;
        QTest::newRow("by name, any case") << "outra pessoa" << 1;
        QTest::newRow("by formatted document") << "111.444" << 1;
        QTest::newRow("by CNPJ") << "11.222.333/0001-81" << 2;
        QTest::newRow("by issuer") << "valdorra" << 4;
        QTest::newRow("no match") << "zzz" << 0;
    }

    void okOnlyWithSelectionAndSearch() {
        QFETCH(QString, search);
        QFETCH(int, rows);
        const CertificateStore store(m_folder);
        CertificateDialog dialog(store, sharedSeams()());
        QVERIFY(!button(&dialog, "cmdOK")->isEnabled());
        QVERIFY(dialog.selectedCertificate().isNull());
        dialog.findChild<QLineEdit*>(QStringLiteral("txtPesquisa"))->setText(search);
        QCOMPARE(certificateGrid(&dialog)->model()->rowCount(), rows);
        if (rows == 0)
            return;
        certificateGrid(&dialog)->selectRow(rows - 1);
        QVERIFY(button(&dialog, "cmdOK")->isEnabled());
        QVERIFY(!dialog.selectedCertificate().isNull());
    }

    void chooserReturnsTheSelectedRow() {
        const CertificateStore store(m_folder);
        const Certificate wanted = fixtureCertificate(QStringLiteral("terceiro"));
        QString title;
        whenModal([&](QWidget* modal) {
            title = modal->windowTitle();
            modal->findChild<QLineEdit*>(QStringLiteral("txtPesquisa"))->setText(QStringLiteral("OUTRA"));
            certificateGrid(modal)->selectRow(0);
            QTest::mouseClick(button(modal, "cmdOK"), Qt::LeftButton);
        });
        const std::optional<Certificate> chosen = sharedSeams().certificates.choose(
            nullptr, QStringLiteral("Título"), QStringLiteral("Texto"), store);
        QCOMPARE(title, QStringLiteral("Título"));
        QVERIFY(chosen.has_value());
        QCOMPARE(*chosen, wanted);
    }

    void keyboardChoice_data() {
        QTest::addColumn<QString>("typed");     // in the search field
        QTest::addColumn<bool>("down");         // then Down
        QTest::addColumn<QString>("preferred"); // fixture last used; "" none
        QTest::addColumn<QString>("chosen");    // holder; "" Return chooses nothing
        QTest::newRow("search that leaves one") << "outra" << false << ""
                                                << "OUTRA PESSOA";
        QTest::newRow("search that leaves several") << "11" << false << ""
                                                    << "";
        QTest::newRow("Down into the list") << "" << true << ""
                                            << "EMPRESA TESTE";
        QTest::newRow("last used preselected") << "" << false << "contador"
                                               << "CONTADOR";
        QTest::newRow("Down onto the preselected row") << "" << true << "contador"
                                                       << "CONTADOR";
    }

    // Return confirms what the keys led to.
    void keyboardChoice() {
        QFETCH(QString, typed);
        QFETCH(bool, down);
        QFETCH(QString, preferred);
        QFETCH(QString, chosen);
        const CertificateStore store(m_folder);
        bool focusInList = false;
        whenModal([&](QWidget* modal) {
            auto* search = modal->findChild<QLineEdit*>(QStringLiteral("txtPesquisa"));
            QTest::keyClicks(search, typed);
            if (down)
                QTest::keyClick(search, Qt::Key_Down);
            focusInList = modal->focusWidget() == certificateGrid(modal);
            QTest::keyClick(modal->focusWidget() ? modal->focusWidget() : modal, Qt::Key_Return);
            if (modal->isVisible())
                static_cast<QDialog*>(modal)->reject();
        });
        const std::optional<Certificate> result = sharedSeams().certificates.choose(
            nullptr, QStringLiteral("T"), QStringLiteral("x"), store,
            preferred.isEmpty() ? QString() : fixtureCertificate(preferred).fingerprint());
        QCOMPARE(focusInList, down);
        QCOMPARE(result.has_value(), !chosen.isEmpty());
        if (result)
            QVERIFY2(result->subjectName().contains(chosen), qPrintable(result->subjectName()));
    }

    void cancelRoutes_data() {
        QTest::addColumn<QString>("route");
        QTest::newRow("Cancelar") << "cancelar";
        QTest::newRow("Esc") << "esc";
        QTest::newRow("closing the window") << "close";
    }

    void cancelRoutes() {
        QFETCH(QString, route);
        const CertificateStore store(m_folder);
        whenModal([route, this](QWidget* modal) {
            certificateGrid(modal)->selectRow(0);
            if (route == u"cancelar")
                QTest::mouseClick(button(modal, "cmdCancelar"), Qt::LeftButton);
            else if (route == u"esc")
                QTest::keyClick(modal, Qt::Key_Escape);
            else
                modal->close();
        });
        QVERIFY(!sharedSeams()
                     .certificates.choose(nullptr, QStringLiteral("T"), QStringLiteral("x"), store)
                     .has_value());
    }

    void importAsksThePasswordOnce_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("imported");
        QTest::newRow("right password") << "1234" << true;
        QTest::newRow("wrong password") << "errada" << false;
    }

    void importAsksThePasswordOnce() {
        QFETCH(QString, password);
        QFETCH(bool, imported);
        TestMessageBox boxes;
        const QString folder =
            m_dir.filePath(QStringLiteral("vazio-%1").arg(QRandomGenerator::global()->generate()));
        const CertificateStore store(folder);
        FixedFileChooser file(certificateFixture(QStringLiteral("empresa-legado.pfx")));
        CertificateDialog dialog(store, sharedSeams()());
        QCOMPARE(certificateGrid(&dialog)->model()->rowCount(), 0);
        int prompts = 0;
        bool roomForTheTitle = false;
        whenModal([&](QWidget* modal) {
            auto* input = qobject_cast<QInputDialog*>(modal);
            QVERIFY(input);
            // The title bar has room for the whole title beside its buttons.
            roomForTheTitle =
                input->width() >= input->fontMetrics().horizontalAdvance(input->windowTitle()) + 150;
            ++prompts;
            input->setTextValue(password);
            input->accept();
        });
        QTest::mouseClick(button(&dialog, "cmdImportar"), Qt::LeftButton);
        QCOMPARE(prompts, 1);
        QVERIFY(roomForTheTitle);
        QCOMPARE(certificateGrid(&dialog)->model()->rowCount(), imported ? 1 : 0);
        QCOMPARE(button(&dialog, "cmdOK")->isEnabled(), imported);
        if (imported) {
            QVERIFY(boxes.shown().isEmpty());
            QCOMPARE(dialog.selectedCertificate(), fixtureCertificate(QStringLiteral("empresa")));
        } else {
            QCOMPARE(boxes.shown().size(), 1);
            QCOMPARE(boxes.shown().first().icon, MessageIcon::Critical);
            QVERIFY(boxes.shown().first().text.contains(QStringLiteral("senha")));
            QVERIFY(!QDir(folder).exists() || QDir(folder).isEmpty());
        }
    }

    // "Remover" asks, naming the certificate, and on Yes deletes its file from the store folder.
    void removalAsksAndRemoves_data() {
        QTest::addColumn<bool>("yes");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }
    void removalAsksAndRemoves() {
        QFETCH(bool, yes);
        TestMessageBox boxes;
        boxes.queueAnswer(yes ? MessageAnswer::Yes : MessageAnswer::No);
        const CertificateStore store(m_folder);
        const Certificate gone = fixtureCertificate(QStringLiteral("contador"));
        const QString file = QDir(m_folder).filePath(gone.fingerprint() + QStringLiteral(".cer"));
        QVERIFY(QFile::exists(file));
        CertificateDialog dialog(store, sharedSeams()());
        QVERIFY(!button(&dialog, "cmdRemover")->isEnabled());
        dialog.preselect(gone.fingerprint());
        QTest::mouseClick(button(&dialog, "cmdRemover"), Qt::LeftButton);
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown().first().buttons, MessageButtons::YesNo);
        QCOMPARE(boxes.shown().first().defaultAnswer, std::optional(MessageAnswer::No));
        QVERIFY2(boxes.shown().first().text.contains(gone.subjectName() + QStringLiteral(" (111.444.777-35")),
                 qPrintable(boxes.shown().first().text));
        QCOMPARE(QFile::exists(file), !yes);
        QCOMPARE(certificateGrid(&dialog)->model()->rowCount(), yes ? 3 : 4);
        QCOMPARE(store.list().valueOr({}).contains(gone), !yes);
    }

    void screenshot() {
        const CertificateStore store(m_folder);
        CertificateDialog dialog(store, sharedSeams()());
        dialog.setWindowTitle(QStringLiteral("Selecione o Certificado Digital (e-CNPJ)"));
        dialog.setText(QStringLiteral("Escolha o certificado e-CNPJ da empresa para receber a chave"));
        certificateGrid(&dialog)->selectRow(2);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(dialog.grab().save(screenshotFolder() + QStringLiteral("/frmCertificado.png")));
        // Every column can be read whole at the dialog's initial size.
        QTableView* table = certificateGrid(&dialog);
        int needed = 0;
        for (int column = 0; column < table->model()->columnCount(); ++column)
            needed += table->horizontalHeader()->sectionSize(column);
        QVERIFY(needed <= table->viewport()->width());
    }
};

int runCertificateDialogTest(int argc, char** argv) {
    CertificateDialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "CertificateDialogTest.moc"
