#pragma once
// ns::JSONSerialization: JSON text to and from ns objects (Dictionary, Array, String, Number,
// Null). Reading keeps the document's key order and the integer or floating kind of each number;
// writing escapes exactly, prints doubles in their shortest round-trip form and can sort keys.
// Failures come back as nil plus an ns::Error in NSCocoaErrorDomain, never as an exception.

#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/data.h"
#include "platform/foundation/error.h"
#include "platform/foundation/property_list.h"
#include "platform/runtime/object.h"

namespace ns {

enum class JSONReadingOptions : unsigned {
    None = 0,
    MutableContainers = 1u << 0, // arrays and dictionaries come back mutable
    MutableLeaves = 1u << 1,     // accepted; strings have no mutable form here
    FragmentsAllowed = 1u << 2,  // a top-level value other than an array or a dictionary
};

enum class JSONWritingOptions : unsigned {
    None = 0,
    PrettyPrinted = 1u << 0,          // two-space indentation, "key" : value
    SortedKeys = 1u << 1,             // keys in UTF-16 order rather than insertion order
    FragmentsAllowed = 1u << 2,       // a top-level value other than an array or a dictionary
    WithoutEscapingSlashes = 1u << 3, // "/" as is rather than "\/"
};

constexpr JSONReadingOptions operator|(JSONReadingOptions a, JSONReadingOptions b) {
    return static_cast<JSONReadingOptions>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool operator&(JSONReadingOptions a, JSONReadingOptions b) {
    return (static_cast<unsigned>(a) & static_cast<unsigned>(b)) != 0;
}
constexpr JSONWritingOptions operator|(JSONWritingOptions a, JSONWritingOptions b) {
    return static_cast<JSONWritingOptions>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool operator&(JSONWritingOptions a, JSONWritingOptions b) {
    return (static_cast<unsigned>(a) & static_cast<unsigned>(b)) != 0;
}

class JSONSerialization : public rt::Object {
    RT_CLASS(JSONSerialization)
public:
    using ReadingOptions = JSONReadingOptions;
    using WritingOptions = JSONWritingOptions;

    // Objects become Dictionary (in document order; a repeated key keeps its first place and its
    // last value), arrays Array, strings String, integers Number of kind LongLong (ULongLong past
    // the signed range, Double past 64 bits; "-0" is the integer 0), other numbers Double, true and false the
    // shared bool Numbers, null ns::Null. A leading UTF-8 byte order mark is skipped. Nesting deeper than
    // 1024 is an error. Malformed text gives nil and error 3840 whose NSDebugDescription says what is wrong
    // and where.
    static rt::Id JSONObjectWithData(const rt::Ref<Data>& data, ReadingOptions options = ReadingOptions::None,
                                     rt::Ref<Error>* error = nullptr);
    static rt::Id JSONObjectWithData(std::string_view json, ReadingOptions options = ReadingOptions::None,
                                     rt::Ref<Error>* error = nullptr);

    // UTF-8 JSON text. Keys must be Strings; values Strings, Numbers (finite), Arrays,
    // Dictionaries or Null. Integral doubles keep a ".0" so that they read back as doubles.
    // Anything else gives nil and error 3851 saying what could not be written.
    static rt::Ref<Data> dataWithJSONObject(const rt::Id& obj, WritingOptions options = WritingOptions::None,
                                            rt::Ref<Error>* error = nullptr);
    static std::optional<std::string> stringWithJSONObject(const rt::Id& obj,
                                                           WritingOptions options = WritingOptions::None,
                                                           rt::Ref<Error>* error = nullptr);

    // True when `obj` is an Array or Dictionary that dataWithJSONObject can write.
    static bool isValidJSONObject(const rt::Id& obj);

private:
    JSONSerialization() = default;
};

} // namespace ns
