// The certificate area's test classes, run one after another in one program.
#include <QApplication>
#include <QTest>

int runCertificateStoreTest(int argc, char** argv);
int runCertificateDialogTest(int argc, char** argv);
int runCertificateSelectionTest(int argc, char** argv);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int failures = 0;
    failures += runCertificateStoreTest(argc, argv);
    failures += runCertificateDialogTest(argc, argv);
    failures += runCertificateSelectionTest(argc, argv);
    return failures;
}
