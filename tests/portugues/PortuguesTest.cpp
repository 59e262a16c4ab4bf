// Qt's own texts in Portuguese, as the program sets them up at start.

#include "gui/QtTranslations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>

using namespace Qt::StringLiterals;

class PortuguesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void standardButtonsReadInPortuguese() {
        QVERIFY2(fiscora::usePortugueseQtTexts(), "qtbase_pt_BR.qm (qt6-translations-l10n) não encontrado");
        QCOMPARE(QLocale().name(), u"pt_BR"_s);
        QMessageBox box(QMessageBox::Question, u"Fiscora"_s, u"Confirma?"_s,
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.show();
        const auto text = [&](QMessageBox::StandardButton which) {
            return box.button(which)->text().remove(u'&');
        };
        QCOMPARE(text(QMessageBox::Yes), u"Sim"_s);
        QCOMPARE(text(QMessageBox::No), u"Não"_s);
        QCOMPARE(text(QMessageBox::Cancel), u"Cancelar"_s);
    }
};

QTEST_MAIN(PortuguesTest)
#include "PortuguesTest.moc"
