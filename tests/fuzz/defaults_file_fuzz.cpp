// The user defaults' file format: what the loader accepts the writer writes, and it reads back.

#include "platform/foundation/property_list_json.h"
#include "tests/fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    rt::Id value = ns::detail::decodePropertyListJSON(fuzz::text(data, size));
    if (!value) return 0;
    const std::string written = ns::detail::encodePropertyListJSON(*value);
    fuzz::check(!written.empty(), "a file the loader accepts does not write");
    rt::Id back = ns::detail::decodePropertyListJSON(written);
    fuzz::check(back != nullptr, "a written file does not read back");
    fuzz::check(ns::detail::encodePropertyListJSON(*back) == written,
                "a second write differs from the first");
    return 0;
}
