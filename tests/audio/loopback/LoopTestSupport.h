#pragma once

// Shared by the loop's tests: the loop format record, and an application
// object that catches what a notification handler throws (as the wizard's
// application does) so that a test can look at it.

#include "platform/audio/WaveTypes.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tavora {

namespace looptest {

// The GSM 6.10 record with `spare` zero bytes behind it, as the codec
// manager hands it out when its largest record is longer.
inline std::vector<std::uint8_t> gsmRecord(std::size_t spare = 0) {
    const auto format = tavora::platform::audio::gsm610Format8k();
    std::vector<std::uint8_t> record(sizeof(format) + spare, 0);
    std::memcpy(record.data(), &format, sizeof(format));
    return record;
}

} // namespace looptest

} // namespace tavora
