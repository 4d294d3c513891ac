// Regular expressions: a pattern (first line) over a text, every match in UTF-16 ranges within it.

#include "platform/foundation/regular_expression.h"
#include "tests/fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view pattern, text;
    fuzz::split(fuzz::text(data, size), pattern, text);
    auto re = ns::RegularExpression::make(pattern, size % 2 == 1);
    if (!re) return 0;
    auto s = ns::String::make(text);
    auto matches = re->matchesInString(*s, {0, s->length()});
    for (const rt::Id& m : *matches) {
        auto* result = rt::cast<ns::TextCheckingResult>(m.get());
        fuzz::check(result && result->range().max() <= s->length(), "a match outside the text");
    }
    (void)re->stringByReplacingMatchesInString(*s, "<$1>");
    return 0;
}
