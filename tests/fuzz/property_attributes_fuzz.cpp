// The property-attribute parser: any text reads without leaving its bounds, and what it gives
// points into the text it was given.

#include <cstring>
#include <memory>

#include "platform/runtime/log.h"
#include "streams/property_attributes.h"
#include "tests/fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        ns::setLogSink([](std::string_view) {}); // malformed input logs a line each time
        return true;
    }();
    (void)quiet;
    // A copy of exactly the input's size: a read past it is a finding.
    auto copy = std::make_unique<char[]>(size ? size : 1);
    if (size) std::memcpy(copy.get(), data, size);
    const std::string_view text(copy.get(), size);
    auto attributes = es::propertyAttributesFromString(text, "p");
    if (!attributes) return 0;
    fuzz::check(attributes->type.size() < text.size(), "the type is longer than the text after T");
    if (attributes->ivar.data())
        fuzz::check(attributes->ivar.data() >= text.data() &&
                        attributes->ivar.data() + attributes->ivar.size() <= text.data() + text.size(),
                    "the instance variable points outside the text");
    fuzz::check(static_cast<bool>(attributes->getter) && static_cast<bool>(attributes->setter),
                "a getter or setter is missing");
    return 0;
}
