#pragma once
// ns::UserDefaults ("NSUserDefaults"): a store of property-list values (Number, String, Data, Date,
// Array, Dictionary with string keys) kept in memory and persisted as a JSON file
// (property_list_json.h).
//
// The standard instance lives in <home>/Library/Preferences/<bundle id>.json (the home is
// ns::ApplicationHome, the bundle id the main bundle's CFBundleIdentifier, else
// ns::kApplicationIdentifier). A store reads its file at first use; a missing file is an empty
// store; an unreadable one is logged and read as empty, and a corrupt one too, after it has been
// moved aside to <file>.corrupt. Arrays and dictionaries nest at most 255 deep in a value. Changes stay in
// memory until synchronize() writes the whole store atomically; nothing is written on a timer, so the
// executable calls UserDefaults::flushAll() before it exits.
//
// Every change (a set, or the removal of a present key) posts NSUserDefaultsDidChangeNotification
// on the default notification centre, synchronously, with the store as its object. Values are
// copied in (and so are immutable); the standard instance's contents do not count as live objects.
// All members are thread-safe.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/data.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace ns {

class UserDefaults : public rt::Object {
    RT_CLASS(UserDefaults)
public:
    // The shared store, made (for the home of the moment) on first call.
    static rt::Ref<UserDefaults> standardUserDefaults();
    // Synchronizes and drops the shared store; the next standardUserDefaults() makes a new one that
    // reads its file again (after ApplicationHome::setPath, or to simulate a restart).
    static void resetStandardUserDefaults();
    // Synchronizes every store alive; false when any write failed, with the first failure's text
    // (as the log has it, naming the file) in `failure`.
    static bool flushAll(std::string* failure = nullptr);
    // The standard store's file for the current home and main bundle.
    static std::string standardFilePath();
    // A store kept in its own file.
    static rt::Ref<UserDefaults> makeWithFile(std::string path);

    const std::string& filePath() const noexcept { return path_; }

    // The value, else the registered default, else nil.
    rt::Id objectForKey(std::string_view key) const;
    // nil removes the key. A value that is not a property list, or nests deeper than the file
    // can hold, is logged and ignored.
    void setObjectForKey(const rt::Id& value, std::string_view key);
    void setBool(bool value, std::string_view key);
    void setInteger(long value, std::string_view key);
    void setDouble(double value, std::string_view key);
    void setString(std::string_view value, std::string_view key);
    void removeObjectForKey(std::string_view key);

    // Absent values read as NO, 0 and nil. Numbers and strings read through their own number
    // parsing (a string "YES", "true" or "1" is YES); other kinds read as NO / 0.
    bool boolForKey(std::string_view key) const;
    long integerForKey(std::string_view key) const;
    double doubleForKey(std::string_view key) const;
    float floatForKey(std::string_view key) const { return static_cast<float>(doubleForKey(key)); }
    // A string, or a number's description; nil for anything else.
    rt::Ref<String> stringForKey(std::string_view key) const;
    // nil unless the value has that kind.
    rt::Ref<Array> arrayForKey(std::string_view key) const;
    rt::Ref<Dictionary> dictionaryForKey(std::string_view key) const;
    rt::Ref<Data> dataForKey(std::string_view key) const;

    // Objects kept as keyed archives (Data). Storing fails (false, logged) when the object cannot
    // be archived. Reading builds only the built-in value classes and `allowedClasses` (and their
    // subclasses), since the file comes from outside the process; nil when the value is absent,
    // not an archive, or names any other class (logged).
    bool setArchivedObjectForKey(const rt::Id& object, std::string_view key);
    rt::Id unarchivedObjectForKey(std::string_view key,
                                  const std::vector<const rt::Class*>& allowedClasses) const;

    // Defaults read when a key has no value; never written to the file.
    void registerDefaults(const Dictionary& defaults);
    // The registered defaults overlaid with the values.
    rt::Ref<Dictionary> dictionaryRepresentation() const;

    // Writes the store when it changed since the last write (ns::writeAtomically: a file aside in
    // the same folder, flushed, then renamed). On failure (including a value the file cannot hold)
    // it logs, returns false, keeps the changes for the next attempt and leaves the previous file
    // as it was.
    bool synchronize();

    // Key-value coding reads and writes values (valueForKey is objectForKey).
    rt::Id valueForKey(std::string_view key) const override;
    void setValueForKey(const rt::Id& value, std::string_view key) override;

protected:
    ~UserDefaults() override;

private:
    // synchronize(), the failure's text (as logged) in `failure` when it fails.
    bool write(std::string* failure);
    UserDefaults(std::string path, bool permanent);
    void ensureLoaded() const; // with lock_ held
    rt::Id lookup(std::string_view key) const;
    void changed();

    const std::string path_;
    const bool permanent_; // contents made in a PermanentScope (the standard store)
    std::mutex writeLock_; // one synchronize at a time
    mutable std::mutex lock_;
    mutable bool loaded_ = false;
    mutable std::map<std::string, rt::Id, std::less<>> values_;
    std::map<std::string, rt::Id, std::less<>> registered_;
    bool dirty_ = false;
    std::uint64_t generation_ = 0; // bumped by every change
};

} // namespace ns
