// JSON text: whatever reads must write, and read back equal.

#include "platform/foundation/json.h"
#include "tests/fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using ns::JSONReadingOptions;
    const auto options = size % 2
                             ? JSONReadingOptions::FragmentsAllowed
                             : JSONReadingOptions::FragmentsAllowed | JSONReadingOptions::MutableContainers;
    rt::Id value = ns::JSONSerialization::JSONObjectWithData(fuzz::text(data, size), options);
    if (!value) return 0;
    auto written =
        ns::JSONSerialization::stringWithJSONObject(value, ns::JSONWritingOptions::FragmentsAllowed);
    fuzz::check(written.has_value(), "a value read does not write");
    rt::Id back = ns::JSONSerialization::JSONObjectWithData(*written, JSONReadingOptions::FragmentsAllowed);
    fuzz::check(back && back->isEqual(value.get()), "written JSON does not read back equal");
    return 0;
}
