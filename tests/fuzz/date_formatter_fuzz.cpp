// The date formatter: a pattern (first line) and a text parsed with it; a parsed date formats.

#include "platform/foundation/date_formatter.h"
#include "tests/fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view pattern, text;
    fuzz::split(fuzz::text(data, size), pattern, text);
    auto formatter = ns::DateFormatter::withFormat(pattern, 3600);
    auto date = formatter->dateFromString(text);
    if (!date) return 0;
    (void)formatter->stringFromDate(*date);
    (void)ns::millisecondsSince1970(*date);
    return 0;
}
