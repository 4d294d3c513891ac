// XML property lists: whatever reads must write and read back.

#include "platform/foundation/property_list.h"
#include "tests/fuzz/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto bytes = ns::Data::make(fuzz::text(data, size));
    rt::Id value = ns::PropertyListSerialization::propertyListWithData(bytes);
    if (!value) return 0;
    rt::Ref<ns::Error> error;
    auto written =
        ns::PropertyListSerialization::dataWithPropertyList(value, ns::PropertyListFormat::XML, &error);
    if (!written) return 0; // a string XML cannot carry (read from a character reference)
    fuzz::check(ns::PropertyListSerialization::propertyListWithData(written) != nullptr,
                "a written property list does not read back");
    return 0;
}
