// Strings tables (UTF-8, or UTF-16 with a byte order mark).

#include "platform/foundation/bundle.h"
#include "tests/fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    auto table = ns::Bundle::parseStringsFile(fuzz::text(data, size), &error);
    fuzz::check(table.has_value() || !error.empty(), "a refused table without a message");
    return 0;
}
