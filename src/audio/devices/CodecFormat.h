#pragma once

// The format of the microphone loop: GSM 6.10, mono, 8000 samples per second,
// 1625 bytes per second, 65-byte blocks. The loop writes only the head of the
// record itself (the template) and then takes, extra bytes and all, the
// first standard format of an installed codec whose head equals it.
//
// Every copy of the loop format (`loopFormat`) is `MaxFormatSize` bytes: the
// largest format record any installed codec reports.

#include "platform/audio/CodecTypes.h"

#include <cstdint>
#include <vector>

namespace tavora::platform::audio {
class CodecManager;
}

namespace tavora::audio {

// The largest format record of any installed codec, in bytes; 0 when the
// codec manager cannot say (then the loop has no format).
std::uint32_t queryMaxFormatSize(platform::audio::CodecManager& codecs);

// A record of MaxFormatSize zero bytes with the GSM 6.10 template written
// into its head (and 320 samples per block, when there is room for it).
// Empty when MaxFormatSize cannot hold a format head.
std::vector<std::uint8_t> makeLoopFormat(std::uint32_t MaxFormatSize);

// Replaces loopFormat (MaxFormatSize = loopFormat.size() bytes) with the
// first codec format, in enumeration order (drivers, their tags, the tags'
// standard formats), whose tag, channels, samples per second, average bytes
// per second, block alignment and bits per sample equal loopFormat's. Throws
// std::runtime_error("Invalid Format details") and leaves LoopFormat as it
// was when there is none.
void findCodecFormat(platform::audio::CodecManager& codecs, std::vector<std::uint8_t>& loopFormat);

} // namespace tavora::audio
