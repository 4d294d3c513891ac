// URL strings: a URL that parses gives its parts, and its own string parses again to the same URL.

#include "platform/foundation/url.h"
#include "tests/fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto url = ns::URL::URLWithString(fuzz::text(data, size));
    if (!url) return 0;
    (void)url->scheme();
    (void)url->host();
    (void)url->path();
    (void)url->query();
    auto again = ns::URL::URLWithString(url->absoluteString()->utf8());
    fuzz::check(again && again->isEqual(url.get()), "a URL's own string does not parse to it");
    return 0;
}
