#pragma once

// Reference GSM 6.10 data made by tools that share no code with the
// platform: sox encodes, ffmpeg decodes.

#include <cstdint>
#include <string>
#include <vector>

namespace tavora::test {

// The GSM 6.10 data chunk sox writes for these samples (8000 Hz mono).
std::vector<std::uint8_t> soxEncodeGsm(const std::vector<std::int16_t>& samples, const std::string& workDir);
// ffmpeg's decode of GSM 6.10 blocks.
std::vector<std::int16_t> ffmpegDecodeGsm(const std::vector<std::uint8_t>& blocks,
                                          const std::string& workDir);

} // namespace tavora::test
