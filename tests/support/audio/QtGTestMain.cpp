// GoogleTest main with a QCoreApplication, so that tests can post events and
// run the event loop; every test has a deadline of its own.
#include "support/audio/TestDeadlines.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace tavora;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    tavora::test::installTestDeadlines();
    return RUN_ALL_TESTS();
}
