// Percent-decoding, and encoding back: decoding the encoding gives the text again.

#include "platform/foundation/string_services.h"
#include "tests/fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto decoded = ns::stringByRemovingPercentEncoding(fuzz::text(data, size));
    if (!decoded) return 0;
    const std::string encoded = ns::stringByAddingPercentEncoding(*decoded);
    auto again = ns::stringByRemovingPercentEncoding(encoded);
    fuzz::check(again && *again == *decoded, "percent-encoding does not decode back");
    return 0;
}
