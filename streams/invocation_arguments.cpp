#include "streams/invocation_arguments.h"

#include <cassert>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/data.h"
#include "platform/foundation/string.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/log.h"
#include "platform/runtime/value.h"
#include "streams/event.h"
#include "streams/tuple.h"

namespace es {

namespace {

// The encoding without its qualifiers ("r*" is "*").
std::string_view unqualified(std::string_view encoding) {
    while (!encoding.empty() && std::string_view("rnNoORV").find(encoding[0]) != std::string_view::npos)
        encoding.remove_prefix(1);
    return encoding;
}

void refuse(const rt::Invocation& invocation, std::size_t index, const std::string& why) {
    assert(!"a value that does not fit an invocation's argument");
    ns::logLine("ESTypeParsing: -[" + std::string(invocation.selector().name()) + "] argument " +
                std::to_string(index) + ": " + why + "; it is left at zero.");
}

rt::Id boxed(const rt::Slot& slot, const rt::SignatureType& type, bool copyBlock) {
    std::string_view encoding = unqualified(type.encoding);
    switch (type.kind) {
    case rt::ValueKind::Void: return Unit::defaultUnit();
    case rt::ValueKind::Object:
        if (copyBlock && slot.object && encoding.starts_with("@?")) return slot.object->copy();
        return slot.object;
    default: break;
    }
    if (encoding == "*") {
        const char* text = slot.getStruct<const char*>();
        return text ? rt::Id(ns::String::make(text)) : rt::Id();
    }
    return ns::box(slot, encoding);
}

// A copy of the string's text, owned by the slot (an argument slot lives as long as its invocation).
bool storeText(rt::Slot& slot, const rt::Id& value) {
    auto text = rt::cast<ns::String>(value);
    if (!text) return false;
    const std::string& utf8 = text->utf8();
    auto copy = ns::Data::make(utf8.c_str(), utf8.size() + 1); // with its terminating zero
    slot.setStruct(reinterpret_cast<const char*>(copy->bytes()));
    slot.object = copy;
    return true;
}

} // namespace

void setArgumentAtIndex(rt::Invocation& invocation, const rt::Id& value, std::size_t index) {
    rt::Slot* slot = invocation.argument(index);
    if (!slot) {
        return refuse(invocation, index,
                      "the method takes " + std::to_string(invocation.arguments().size()) + " arguments");
    }
    const rt::SignatureType& type = invocation.signature().argumentType(index);
    rt::unboxInto(*slot, type, nullptr); // the zero value, whatever follows
    if (!value) return;
    if (unqualified(type.encoding) == "*") {
        if (!storeText(*slot, value)) refuse(invocation, index, value->description() + " is not a string");
        return;
    }
    if (type.kind == rt::ValueKind::Struct) {
        // The slot's size comes from its own encoding, never from the value.
        auto* boxedValue = rt::cast<const ns::Value>(value.get());
        std::string slotText = "\"" + std::string(type.encoding) + "\" (" + std::to_string(type.size) + " bytes)";
        if (!boxedValue) return refuse(invocation, index, value->description() + " is no value for " + slotText);
        if (boxedValue->size() != type.size) {
            return refuse(invocation, index,
                          "a value of " + std::to_string(boxedValue->size()) + " bytes does not fit " + slotText);
        }
    }
    if (!rt::unboxInto(*slot, type, value))
        refuse(invocation, index, value->description() + " cannot be stored as \"" + std::string(type.encoding) + "\"");
}

rt::Id argumentAtIndex(const rt::Invocation& invocation, std::size_t index) {
    const rt::Slot* slot = invocation.argument(index);
    if (!slot) return nullptr;
    return boxed(*slot, invocation.signature().argumentType(index), true);
}

rt::Ref<Tuple> argumentsTuple(const rt::Invocation& invocation) {
    std::size_t count = invocation.arguments().size();
    std::vector<rt::Id> values;
    values.reserve(count);
    for (std::size_t index = 2; index < count + 2; ++index) values.push_back(argumentAtIndex(invocation, index));
    return Tuple::withObjects(std::move(values)); // nil as TupleNil
}

void setArgumentsTuple(rt::Invocation& invocation, const rt::Ref<Tuple>& tuple) {
    if (!tuple) return;
    std::size_t index = 2;
    for (const rt::Id& entry : *tuple) {
        setArgumentAtIndex(invocation, entry == TupleNil::tupleNil() ? rt::Id() : entry, index++);
        if (index - 2 > invocation.arguments().size()) return; // refused once, not once per extra value
    }
}

rt::Id returnValue(const rt::Invocation& invocation) {
    return boxed(invocation.returnValue(), invocation.signature().returnType(), false);
}

} // namespace es
