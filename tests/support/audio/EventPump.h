#pragma once

// Runs Qt's event loop of the calling thread until a condition holds, so
// that posted wave notifications are delivered.

#include <chrono>
#include <functional>

namespace tavora::test {

bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
void pumpFor(std::chrono::milliseconds span);

} // namespace tavora::test
