#pragma once

// Shared pieces of the player tests: the application object that catches
// what escapes a notification, and event pumping.

#include "support/audio/CatchingApplication.h"

#include <QCoreApplication>

namespace tavora::test {

inline CatchingApplication* app() {
    return static_cast<CatchingApplication*>(QCoreApplication::instance());
}

// Handles everything posted so far, and what that posts in turn.
inline void pump() {
    for (int i = 0; i < 20; ++i)
        QCoreApplication::sendPostedEvents();
}

} // namespace tavora::test
