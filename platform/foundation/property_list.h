#pragma once
// ns::PropertyListSerialization: XML property lists to and from ns objects (Dictionary, Array,
// String, Number, Date, Data). Binary and old-style text lists are recognised but not handled:
// asking for them gives an error.

#include "platform/foundation/data.h"
#include "platform/foundation/error.h"
#include "platform/runtime/object.h"

namespace ns {


enum class PropertyListFormat : unsigned {
    OpenStep = 1,
    XML = 100,
    Binary = 200,
};

enum class PropertyListMutabilityOptions : unsigned {
    Immutable = 0,
    MutableContainers = 1,          // arrays and dictionaries come back mutable
    MutableContainersAndLeaves = 2, // data too
};

class PropertyListSerialization : public rt::Object {
    RT_CLASS(PropertyListSerialization)
public:
    using Format = PropertyListFormat;
    using MutabilityOptions = PropertyListMutabilityOptions;

    // Reads an XML property list: dict (document order), array, string, integer (Number of kind
    // LongLong, ULongLong past the signed range), real (Double), true, false, date (ISO 8601 in
    // UTC) and data (base64). The <plist> wrapper is optional. `format`, when given, receives the
    // format read. Malformed input gives nil and error 3840 saying what is wrong and where.
    static rt::Id propertyListWithData(const rt::Ref<Data>& data,
                                       MutabilityOptions options = MutabilityOptions::Immutable,
                                       Format* format = nullptr, rt::Ref<Error>* error = nullptr);

    // Writes `obj` in the given format (only XML is supported): tab indentation, dictionary keys in
    // UTF-16 order. Keys must be Strings; an object of another kind, a string holding a character
    // XML cannot carry, or an unsupported format give nil and error 3851.
    static rt::Ref<Data> dataWithPropertyList(const rt::Id& obj, Format format = Format::XML,
                                              rt::Ref<Error>* error = nullptr);

    // True when `obj` holds only what the format can carry (XML and binary carry the same kinds;
    // old-style text lists are not supported).
    static bool propertyListIsValidForFormat(const rt::Id& obj, Format format);

private:
    PropertyListSerialization() = default;
};

} // namespace ns
