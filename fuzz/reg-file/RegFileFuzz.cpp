#include "platform/settings/RegFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace tavora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<RegFileDocument> document = parseRegFile(text);
    if (!document)
        return 0;
    // What was read is written out faithfully: reading the output again
    // gives the same keys and values.
    const std::string written = formatRegFile(*document);
    const std::optional<RegFileDocument> again = parseRegFile(written);
    if (!again || !(*again == *document))
        std::abort();
    return 0;
}
