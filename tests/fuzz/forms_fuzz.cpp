// Forms from untrusted files: the input's first line is a form, the rest its data (both JSON).
// Whatever they hold, a root is built, bound and read back, and nothing but forms objects is made.

#include "platform/foundation/dictionary.h"
#include "platform/foundation/json.h"
#include "platform/foundation/string.h"
#include "platform/runtime/log.h"
#include "tests/fuzz/fuzz.h"
#include "ui/forms/root_element.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = (ns::setLogSink([](std::string_view) {}), true);
    (void)quiet;
    std::string_view form, values;
    fuzz::split(fuzz::text(data, size), form, values);
    const auto options = ns::JSONReadingOptions::FragmentsAllowed;
    auto root = fm::RootElement::initWithJSONAndData(ns::JSONSerialization::JSONObjectWithData(form, options),
                                                     ns::JSONSerialization::JSONObjectWithData(values, options));
    fuzz::check(root != nullptr, "no root for a form");
    auto back = ns::MutableDictionary::make();
    root->fetchValueUsingBindingsIntoObject(back);
    root->fetchValueIntoObject(back);
    return 0;
}
