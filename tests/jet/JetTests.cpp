#include "JetTestSupport.h"

#include <QCoreApplication>

// One program runs the writer's test classes in turn.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int failures = 0;
    failures += jettest::runHeaderTest(argc, argv);
    failures += jettest::runRoundTripTest(argc, argv);
    failures += jettest::runStructureTest(argc, argv);
    failures += jettest::runCatalogTest(argc, argv);
    return failures;
}
