#pragma once
// Keyed archiving: an object graph to bytes and back.
//
// The archiver writes the built-in value classes itself (Number with its kind, String, Data,
// Date, Null, Value, Array, Dictionary, Set and their mutable forms, which decode mutable). Any
// other object implements ns::Coding: it writes its state to a Coder under keys and is rebuilt
// from them. Objects reached more than once are written once and decode to one shared object.
// Graphs with cycles cannot be archived, and nesting is limited to ArchiveMaxDepth levels.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/coding.h"
#include "platform/foundation/data.h"
#include "platform/foundation/error.h"
#include "platform/runtime/class.h"
#include "platform/runtime/object.h"

namespace ns {

inline constexpr unsigned ArchiveMaxDepth = 512;

// What an object's encodeWithCoder writes to and initWithCoder reads from.
class Coder {
public:
    virtual ~Coder() = default;

    // A later value for the same key replaces the earlier one.
    virtual void encodeObject(const rt::Id& obj, std::string_view key) = 0;
    virtual void encodeBool(bool value, std::string_view key) = 0;
    virtual void encodeInt64(std::int64_t value, std::string_view key) = 0;
    virtual void encodeDouble(double value, std::string_view key) = 0;
    // Decodes as an ns::String.
    virtual void encodeString(std::string_view value, std::string_view key) = 0;
    void encodeInt(int value, std::string_view key) { encodeInt64(value, key); }

    // Absent keys give nil, false and 0. Numbers convert between the scalar kinds.
    virtual rt::Id decodeObject(std::string_view key) = 0;
    virtual bool decodeBool(std::string_view key) = 0;
    virtual std::int64_t decodeInt64(std::string_view key) = 0;
    virtual double decodeDouble(std::string_view key) = 0;
    virtual bool containsValueForKey(std::string_view key) const = 0;
    int decodeInt(std::string_view key) { return static_cast<int>(decodeInt64(key)); }
    // The decoded object when it is a T, else nil.
    template <class T> rt::Ref<T> decodeObjectOfClass(std::string_view key) {
        rt::Id obj = decodeObject(key);
        return rt::Ref<T>(dynamic_cast<T*>(obj.get()));
    }
    // The text of a decoded ns::String; empty when absent or not a string.
    std::string decodeString(std::string_view key);

    // Set once something has gone wrong; archiving or unarchiving then fails with this error.
    // An object's initWithCoder calls failWithError when the values it finds are unusable.
    virtual bool failed() const = 0;
    virtual rt::Ref<Error> error() const = 0;
    virtual void failWithError(rt::Ref<Error> error) = 0;

protected:
    Coder() = default;
};

// The "NSCoding" protocol, and the class member that adopts it.
const rt::Protocol& codingProtocol();
rt::ClassMember adoptsCoding();

class KeyedArchiver {
public:
    // nil (and a line in the log) when the graph holds an object that cannot be archived, a
    // cycle, or nesting deeper than ArchiveMaxDepth. A nil root archives.
    static rt::Ref<Data> archivedDataWithRootObject(const rt::Id& root);
};

class KeyedUnarchiver {
public:
    // For data from outside the process (a file, the user defaults, the network): besides the
    // built-in value classes, only the named classes and their subclasses are built. An archive
    // that names any other class fails as corrupt before anything is built.
    static rt::Id unarchivedObjectOfClasses(const std::vector<const rt::Class*>& allowedClasses,
                                            const rt::Ref<Data>& data, rt::Ref<Error>* error = nullptr);
    // For data this process made itself: any class that adopts coding is built. nil when the data
    // cannot be decoded; `error` then receives an error of NSCocoaErrorDomain, code
    // CoderReadCorruptError (unless an object's initWithCoder failed with its own).
    static rt::Id unarchiveObjectWithData(const rt::Ref<Data>& data, rt::Ref<Error>* error = nullptr);
};

} // namespace ns
