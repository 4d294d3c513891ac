#include "platform/corefoundation/dictionary.h"

#include <new>
#include <type_traits>
#include <vector>

#include "platform/corefoundation/object_internal.h"
#include "platform/foundation/array.h"

namespace cf {

struct Dictionary {
    detail::Object base;
    rt::Ref<ns::Dictionary> contents; // never nil
};
static_assert(std::is_standard_layout_v<Dictionary>);

namespace {

void finalizeDictionary(void* object) {
    using Contents = rt::Ref<ns::Dictionary>;
    static_cast<Dictionary*>(object)->contents.~Contents();
}

const detail::RuntimeClass dictionaryClass{"CFDictionary", 18, finalizeDictionary};

DictionaryRef wrap(AllocatorRef allocator, rt::Ref<ns::Dictionary> contents) {
    auto* made = detail::createInstance<Dictionary>(allocator, dictionaryClass);
    if (made) new (&made->contents) rt::Ref<ns::Dictionary>(std::move(contents));
    return made;
}

rt::Id deepCopy(const rt::Id& value) {
    if (auto dictionary = rt::cast<ns::Dictionary>(value)) {
        std::vector<rt::Id> keys, values;
        keys.reserve(dictionary->count());
        values.reserve(dictionary->count());
        for (auto [key, object] : *dictionary) {
            keys.push_back(key);
            values.push_back(deepCopy(object));
        }
        return ns::Dictionary::withObjectsForKeys(values, keys);
    }
    if (auto array = rt::cast<ns::Array>(value)) {
        std::vector<rt::Id> objects;
        objects.reserve(array->count());
        for (const rt::Id& object : *array)
            objects.push_back(deepCopy(object));
        return ns::Array::make(std::move(objects));
    }
    return value;
}

} // namespace

TypeID dictionaryGetTypeID() {
    return dictionaryClass.typeID;
}

DictionaryRef dictionaryCreate(AllocatorRef allocator, const rt::Id* keys, const rt::Id* values, std::size_t count) {
    std::vector<rt::Id> keyList, valueList;
    keyList.reserve(count);
    valueList.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (!keys[i] || !values[i]) continue;
        keyList.push_back(keys[i]);
        valueList.push_back(values[i]);
    }
    return wrap(allocator, ns::Dictionary::withObjectsForKeys(valueList, keyList));
}

std::size_t dictionaryGetCount(DictionaryRef dictionary) {
    return dictionary->contents->count();
}

rt::Id dictionaryGetValue(DictionaryRef dictionary, const rt::Id& key) {
    return dictionary->contents->objectForKey(key);
}

rt::Id dictionaryGetValue(DictionaryRef dictionary, std::string_view key) {
    return dictionary->contents->objectForKey(key);
}

const rt::Ref<ns::Dictionary>& bridgedDictionary(DictionaryRef dictionary) {
    return dictionary->contents;
}

PropertyListRef propertyListCreateDeepCopy(AllocatorRef allocator, PropertyListRef propertyList,
                                           OptionFlags mutabilityOption) {
    if (!propertyList || mutabilityOption != PropertyListImmutable || getTypeID(propertyList) != dictionaryClass.typeID)
        return nullptr;
    auto* source = static_cast<DictionaryRef>(propertyList);
    return wrap(allocator, rt::downcast<ns::Dictionary>(deepCopy(bridgedDictionary(source))));
}

} // namespace cf
