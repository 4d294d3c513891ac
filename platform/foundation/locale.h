#pragma once
// ns::Locale ("NSLocale"): what the user prefers. preferredLanguages and the current locale are
// process-wide: ["en"] and en_US (dollars, U.S. measures) until something sets them (installing a
// simulated device sets its profile's; tests may set their own). Any thread.

#include <string>
#include <vector>

#include "platform/runtime/object.h"

namespace ns {

class Array;
class String;

class Locale : public rt::Object {
    RT_CLASS(Locale)
public:
    // The user's languages, most preferred first, as language tags ("ja-JP", "en"); a new array
    // each call.
    static rt::Ref<Array> preferredLanguages();
    // An empty list puts back the default ["en"].
    static void setPreferredLanguages(std::vector<std::string> languages);

    // The user's region settings: a new object each call, holding those set at the time.
    static rt::Ref<Locale> currentLocale();
    struct Settings {
        std::string identifier = "en_US";
        std::string currencyCode = "USD";
        std::string measurementSystem = "U.S."; // "Metric", "U.S." or "U.K."
    };
    static void setCurrentSettings(Settings settings);

    rt::Ref<String> localeIdentifier() const;
    rt::Ref<String> currencyCode() const;
    // The currency's sign ("$", "€"); the code itself for a currency without one of its own.
    rt::Ref<String> currencySymbol() const;
    rt::Ref<String> measurementSystem() const;

private:
    Locale() = default;
    explicit Locale(Settings settings) : settings_(std::move(settings)) {}
    Settings settings_;
};

} // namespace ns
