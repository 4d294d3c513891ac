#include "session/core/memory_cache.h"

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"

namespace ft {

RT_DEFINE_CLASS(MemoryCache, "FTMemoryCache", rt::Object,
                rt::prop("dictionary", &MemoryCache::dictionary, &MemoryCache::setDictionary))

MemoryCache::MemoryCache() : dictionary_(ns::MutableDictionary::make()) {}

const rt::Ref<MemoryCache>& MemoryCache::sharedInstance() {
    // A function-local static is made once, whichever thread comes first.
    static const rt::Ref<MemoryCache>* shared = [] {
        rt::PermanentScope permanent;
        return new rt::Ref<MemoryCache>(rt::immortal(rt::make<MemoryCache>()));
    }();
    return *shared;
}

void MemoryCache::setObjectForKey(const rt::Id& object, std::string_view key) {
    if (!object) return removeObjectForKey(key);
    dictionary_->setObjectForKey(object, key);
}

rt::Id MemoryCache::objectForKey(std::string_view key) const {
    return dictionary_->objectForKey(key);
}

void MemoryCache::removeObjectForKey(std::string_view key) {
    dictionary_->removeObjectForKey(key);
}

void MemoryCache::setDictionary(rt::Ref<ns::MutableDictionary> dictionary) {
    rt::KeyChange change(this, "dictionary");
    dictionary_ = dictionary ? std::move(dictionary) : ns::MutableDictionary::make();
}

} // namespace ft
