#include "platform/settings/RegFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<TRegFileDocument> document = ParseRegFile(text);
    if (!document)
        return 0;
    // What was read is written out faithfully: reading the output again
    // gives the same keys and values.
    const std::string written = FormatRegFile(*document);
    const std::optional<TRegFileDocument> again = ParseRegFile(written);
    if (!again || !(*again == *document))
        std::abort();
    return 0;
}
