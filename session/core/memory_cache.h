#pragma once
// ft::MemoryCache ("FTMemoryCache"): the process-wide key-value store in memory. The shared
// instance is made once, thread-safely, and never dies; nothing is persisted. Its dictionary is not
// locked: callers use it on the main thread.

#include <string_view>

#include "platform/foundation/dictionary.h"
#include "platform/runtime/object.h"

namespace ft {

class MemoryCache : public rt::Object {
    RT_CLASS(MemoryCache)
public:
    static const rt::Ref<MemoryCache>& sharedInstance();

    // Keys are plain keys ("@count" is a key like any other); a nil object removes the key.
    void setObjectForKey(const rt::Id& object, std::string_view key);
    rt::Id objectForKey(std::string_view key) const;
    void removeObjectForKey(std::string_view key);

    const rt::Ref<ns::MutableDictionary>& dictionary() const { return dictionary_; }
    void setDictionary(rt::Ref<ns::MutableDictionary> dictionary);

private:
    MemoryCache();
    rt::Ref<ns::MutableDictionary> dictionary_;
};

} // namespace ft
