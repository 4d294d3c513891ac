#include "platform/foundation/locale.h"

#include <mutex>

#include "platform/foundation/array.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"

namespace ns {

namespace {

struct Languages {
    std::mutex lock;
    std::vector<std::string> list{"en"};
};

Languages& languages() {
    static Languages* shared = new Languages(); // read by anything up to the process's end
    return *shared;
}

} // namespace

rt::Ref<Array> Locale::preferredLanguages() {
    std::vector<std::string> copy;
    {
        std::lock_guard guard(languages().lock);
        copy = languages().list;
    }
    std::vector<rt::Id> tags;
    for (const auto& tag : copy) tags.push_back(String::make(tag));
    return Array::make(std::move(tags));
}

void Locale::setPreferredLanguages(std::vector<std::string> list) {
    if (list.empty()) list = {"en"};
    std::lock_guard guard(languages().lock);
    languages().list.swap(list);
}

RT_DEFINE_CLASS(Locale, "NSLocale", rt::Object, rt::classMethod("preferredLanguages", &Locale::preferredLanguages))

} // namespace ns
