// Keyed archives from outside the process, with and without a list of allowed classes.

#include "platform/foundation/coder.h"
#include "tests/fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto bytes = ns::Data::make(fuzz::text(data, size));
    rt::Ref<ns::Error> error;
    rt::Id any = ns::KeyedUnarchiver::unarchiveObjectWithData(bytes, &error);
    fuzz::check(!(any && error), "a decoded object and an error"); // nil alone is a nil root
    rt::Id values = ns::KeyedUnarchiver::unarchivedObjectOfClasses({}, bytes);
    if (values)
        fuzz::check(ns::KeyedArchiver::archivedDataWithRootObject(values) != nullptr,
                    "decoded values do not archive");
    return 0;
}
