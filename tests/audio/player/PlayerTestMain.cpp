#include "audio/player/PlayerTestSupport.h"
#include "support/audio/TestDeadlines.h"

#include <gtest/gtest.h>

using namespace tavora;

int main(int argc, char** argv) {
    tavora::test::CatchingApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    tavora::test::installTestDeadlines();
    return RUN_ALL_TESTS();
}
