#pragma once
// ns::Locale ("NSLocale"): what the user prefers. preferredLanguages is process-wide: ["en"] until
// something sets it (installing a simulated device sets its profile's languages; tests may set
// their own). Any thread.

#include <string>
#include <vector>

#include "platform/runtime/object.h"

namespace ns {

class Array;

class Locale : public rt::Object {
    RT_CLASS(Locale)
public:
    // The user's languages, most preferred first, as language tags ("ja-JP", "en"); a new array
    // each call.
    static rt::Ref<Array> preferredLanguages();
    // An empty list puts back the default ["en"].
    static void setPreferredLanguages(std::vector<std::string> languages);

private:
    Locale() = default;
};

} // namespace ns
