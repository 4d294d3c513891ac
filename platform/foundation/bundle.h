#pragma once
// ns::Bundle ("NSBundle"): a folder of resources. The main bundle is the application's resources
// folder: the path given to setMainBundlePath, else the environment variable FT_BUNDLE_PATH, else
// <executable's folder>/../resources when that exists, else ./resources.
//
// Layout: Info.json at the root (a JSON object: CFBundleIdentifier, CFBundleShortVersionString,
// CFBundleVersion, CFBundleDisplayName, ...); resources at the root or in <lang>.lproj folders;
// strings tables in <lang>.lproj/<table>.strings. The language is "en", then "Base", then the root.
// A bundle reads its files when first asked and keeps what it read; any thread may use it.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/data.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace ns {

class Bundle : public rt::Object {
    RT_CLASS(Bundle)
public:
    // The main bundle (its contents do not count as live objects).
    static rt::Ref<Bundle> mainBundle();
    // Roots the main bundle at `path` (empty: back to the default); the next mainBundle() call
    // makes a new one.
    static void setMainBundlePath(std::string path);
    // The default root described above.
    static std::string defaultMainBundlePath();
    // Run settings: an in-memory text that the main bundle's info dictionary answers for `key`
    // in place of Info.json's value, so a run (or a test) can point addresses elsewhere without
    // editing the resources. Kept across setMainBundlePath until removed.
    static void setInfoValueOverride(std::string_view key, std::string_view value);
    static void removeInfoValueOverride(std::string_view key);
    static void removeAllInfoValueOverrides();
    // A bundle at an existing folder; nil when there is none.
    static rt::Ref<Bundle> bundleWithPath(std::string_view path);

    const std::string& bundlePath() const noexcept { return path_; }
    // CFBundleIdentifier; nil when absent.
    rt::Ref<String> bundleIdentifier() const;
    // Info.json's object; empty when the file is missing or malformed (which is logged). The main
    // bundle's carries the run settings' overrides.
    rt::Ref<Dictionary> infoDictionary() const;
    rt::Id objectForInfoDictionaryKey(std::string_view key) const;

    // The text for `key` in `table` (empty: "Localizable"). A key that is not there gives `value`
    // when it is not empty, else the key itself.
    rt::Ref<String> localizedStringForKey(std::string_view key, std::string_view value = {},
                                          std::string_view table = {}) const;

    // The path of <name>.<type> (or of <name> when `type` is empty), looked for in `directory`
    // under the root, then under en.lproj and Base.lproj; nil when absent.
    rt::Ref<String> pathForResourceOfType(std::string_view name, std::string_view type,
                                          std::string_view directory = {}) const;
    // The bytes of that resource; nil when absent or unreadable.
    rt::Ref<Data> dataForResource(std::string_view name, std::string_view type) const;

    // Parses the platform's strings-file syntax: `"key" = "value";` entries (a bare word may stand
    // for a quoted string; `"key";` maps the key to itself), /* */ and // comments, and the escapes
    // \" \\ \n \t \r \' \0, \Uxxxx and \uxxxx (UTF-16 units, so pairs combine). The text is UTF-8,
    // or UTF-16 with a byte-order mark. nullopt (and a message) on a syntax error.
    static std::optional<std::map<std::string, std::string>> parseStringsFile(std::string_view bytes,
                                                                              std::string* error = nullptr);

    std::string description() const override;

private:
    explicit Bundle(std::string path);
    const std::map<std::string, std::string>& table(std::string_view name) const; // with lock_ held

    const std::string path_;
    rt::Ref<Dictionary> info_;
    mutable std::mutex lock_;
    mutable std::map<std::string, std::map<std::string, std::string>, std::less<>> tables_;
};

// The main bundle's localized string for `key` in the "Localizable" table.
rt::Ref<String> NSLocalizedString(std::string_view key, std::string_view comment = {});

} // namespace ns
