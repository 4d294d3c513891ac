#include "platform/foundation/locale.h"

#include <mutex>
#include <string_view>
#include <utility>

#include "platform/foundation/array.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"

namespace ns {

namespace {

struct Languages {
    std::mutex lock;
    std::vector<std::string> list{"en"};
    Locale::Settings current;
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

rt::Ref<Locale> Locale::currentLocale() {
    Settings settings;
    {
        std::lock_guard guard(languages().lock);
        settings = languages().current;
    }
    return rt::make<Locale>(std::move(settings));
}

void Locale::setCurrentSettings(Settings settings) {
    std::lock_guard guard(languages().lock);
    languages().current = std::move(settings);
}

rt::Ref<String> Locale::localeIdentifier() const { return String::make(settings_.identifier); }
rt::Ref<String> Locale::currencyCode() const { return String::make(settings_.currencyCode); }
rt::Ref<String> Locale::measurementSystem() const { return String::make(settings_.measurementSystem); }

rt::Ref<String> Locale::currencySymbol() const {
    static constexpr std::pair<std::string_view, std::string_view> kSigns[] = {
        {"USD", "$"}, {"EUR", "€"}, {"GBP", "£"}, {"JPY", "¥"}, {"CNY", "CN¥"}, {"KRW", "₩"},
        {"INR", "₹"}, {"AUD", "A$"}, {"CAD", "CA$"}, {"BRL", "R$"}, {"ILS", "₪"},
    };
    for (const auto& [code, sign] : kSigns)
        if (code == settings_.currencyCode) return String::make(std::string(sign));
    return String::make(settings_.currencyCode);
}

RT_DEFINE_CLASS(Locale, "NSLocale", rt::Object, rt::classMethod("preferredLanguages", &Locale::preferredLanguages),
                rt::classMethod("currentLocale", &Locale::currentLocale),
                rt::method("localeIdentifier", &Locale::localeIdentifier), rt::method("currencyCode", &Locale::currencyCode),
                rt::method("currencySymbol", &Locale::currencySymbol),
                rt::method("measurementSystem", &Locale::measurementSystem))

} // namespace ns
