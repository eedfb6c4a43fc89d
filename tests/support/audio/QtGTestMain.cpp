// GoogleTest main with a QCoreApplication, so that tests can post events and
// run the event loop; every test has a deadline of its own.
#include "support/audio/TestDeadlines.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdio>

using namespace tavora;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    tavora::test::installTestDeadlines();
    const int result = RUN_ALL_TESTS();
    // A filter that selects nothing (a case renamed under a run that picks
    // its cases by name) must not pass for a run.
    if (::testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        std::fprintf(stderr, "No test matches the filter: nothing was run.\n");
        return 1;
    }
    return result;
}
