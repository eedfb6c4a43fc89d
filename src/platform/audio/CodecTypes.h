#pragma once

// Records and constants of the codec manager: the installed codec drivers,
// the format tags each supports and the standard formats of each tag.

#include "platform/audio/WaveTypes.h"

#include <array>
#include <cstdint>
#include <span>

namespace tavora::platform::audio {

// Identifies an installed driver; never 0.
using CodecDriverId = std::uint32_t;

// Driver support bits.
inline constexpr std::uint32_t ACMDRIVERDETAILS_SUPPORTF_CODEC = 0x00000001;
inline constexpr std::uint32_t ACMDRIVERDETAILS_SUPPORTF_CONVERTER = 0x00000002;
inline constexpr std::uint32_t ACMDRIVERDETAILS_SUPPORTF_FILTER = 0x00000004;
inline constexpr std::uint32_t ACMDRIVERDETAILS_SUPPORTF_DISABLED = 0x80000000;

// Flags of CodecManager::enumDrivers: 0 visits the enabled drivers only.
inline constexpr std::uint32_t ACM_DRIVERENUMF_DISABLED = 0x80000000;

// Query kinds of CodecDriver::formatTagDetails.
inline constexpr std::uint32_t ACM_FORMATTAGDETAILSF_INDEX = 0;     // by formatTagIndex
inline constexpr std::uint32_t ACM_FORMATTAGDETAILSF_FORMATTAG = 1; // by formatTag
// Query kinds of CodecDriver::formatDetails.
inline constexpr std::uint32_t ACM_FORMATDETAILSF_INDEX = 0; // by formatTag and formatIndex

struct CodecDriverDetails {
    std::uint32_t fccType = 0; // 'audc'
    std::uint32_t fccComp = 0;
    std::uint16_t manufacturerId = 0;
    std::uint16_t productId = 0;
    std::uint32_t acmVersion = 0;
    std::uint32_t driverVersion = 0;
    std::uint32_t support = 0;
    std::uint32_t formatTags = 0;
    std::uint32_t filterTags = 0;
    std::array<char, 32> shortName{};
    std::array<char, 128> longName{};
    std::array<char, 80> copyright{};
    std::array<char, 128> licensing{};
    std::array<char, 512> features{};
};

struct FormatTagDetails {
    std::uint32_t formatTagIndex = 0;
    std::uint32_t formatTag = 0;
    std::uint32_t formatSize = 0; // largest record of this tag, in bytes
    std::uint32_t support = 0;
    std::uint32_t standardFormats = 0;
    std::array<char, 48> name{};
};

// In/out record of CodecDriver::formatDetails: `formatTag` and `formatIndex`
// choose the format; the codec writes its whole record (head and extra
// bytes) into `format`, which must be large enough for it.
struct FormatDetails {
    std::uint32_t formatIndex = 0;
    std::uint32_t formatTag = 0;
    std::uint32_t support = 0;
    std::span<std::uint8_t> format;
    std::array<char, 128> name{};
};

} // namespace tavora::platform::audio
