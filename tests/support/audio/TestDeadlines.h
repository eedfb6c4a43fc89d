#pragma once

// A deadline of its own for every GoogleTest test. Tests here wait on
// servers, devices and threads; a wait that never ends would otherwise hold
// the whole program until the harness's time-out ends it without saying
// which test hung. A test still running at its deadline is named as failed
// and the program ends at once with a failure.

#include <chrono>

namespace tavora::test {

// Installs the deadline for every test that follows: TAVORA_TEST_DEADLINE
// seconds when set, `limit` otherwise.
void installTestDeadlines(std::chrono::seconds limit = std::chrono::seconds(120));

} // namespace tavora::test
