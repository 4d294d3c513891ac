#pragma once
// ft::Utility ("FTUtility"): what the application knows about the device it runs on: the machine
// identifier and its marketing name, the OS and client versions, a timestamp for records, the
// Wi-Fi-only table (built in, stored in the user defaults, downloadable), the model-number lookup
// in the maker's model table, the tablet-generation test and two storage figures. Holds no state;
// the application calls it on the main thread, and the download completions run on the main queue.

#include <cstdint>
#include <functional>
#include <string_view>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"

namespace ft {

class Utility : public rt::Object {
    RT_CLASS(Utility)
public:
    // The user default holding the Wi-Fi-only table.
    static constexpr const char* kWifiOnlyListKey = "wifionlylist";
    // Info.json's key for the maker's download server (scheme and host).
    static constexpr const char* kMakerServerInfoKey = "FTMakerServerAddress";
    // The model table's path on that server.
    static constexpr const char* kModelTablePath = "/tools/AppleModel.json";

    // The machine identifier ("iPhone10,3"); deviceType is the same.
    static rt::Ref<ns::String> hardwareName();
    static rt::Ref<ns::String> deviceType() { return hardwareName(); }
    // The marketing name, byte-exact (some end in a blank); "unknown device" for one not listed.
    static rt::Ref<ns::String> deviceVersion();
    static rt::Ref<ns::String> deviceVersionFor(std::string_view machine);
    static rt::Ref<ns::String> osVersion();
    // The system version read as a number, the way the screens compare it: "12.4.1" gives 12.4.
    static double systemVersionNumber();
    // "<CFBundleShortVersionString>.<CFBundleVersion>", as "2.1.15".
    static rt::Ref<ns::String> clientVersion();
    // Now, as "yyyy-MM-dd'T'HH:mm:ssZ" in the local zone (POSIX, Gregorian).
    static rt::Ref<ns::String> createDateString();

    // The built-in Wi-Fi-only table, parsed anew (mutable containers).
    static rt::Ref<ns::MutableDictionary> builtInWifiOnlyTable();
    // Stores the built-in table under "wifionlylist" when nothing is stored there; a stored value
    // of any form stays.
    static void generateWifiOnlyDataFileIfNecessary();
    // YES when the device counts as Wi-Fi only: no table (nil or not a dictionary), an empty
    // identifier, an identifier the table does not list, or any value but "false".
    static bool checkiPadIsWifiOnly(const rt::Ref<ns::String>& machine, const rt::Id& table);

    using TableCompletion = std::function<void(const rt::Ref<ns::Dictionary>&)>;
    using ModelCompletion = std::function<void(const rt::Ref<ns::String>&)>;
    // Downloads the model table and hands its "WifiOnly" dictionary to the completion, once, on the
    // main queue; a failed download, an empty reply or a reply without a dictionary under
    // "WifiOnly" gives the built-in table. `unused` is not read.
    static void iPadisWifiOnly(const rt::Ref<ns::String>& unused, TableCompletion completion);
    // Downloads the model table and finds the model number listing the identifier (the last one
    // met wins); nil when none does, the download fails or the table is malformed. Once, on the
    // main queue.
    static void deviceModelNumberWithInternalName(const rt::Ref<ns::String>& machine, ModelCompletion completion);
    // The model number of `machine` in a downloaded table; every level type-checked, malformed
    // pieces skipped.
    static rt::Ref<ns::String> modelNumberInTable(const rt::Id& table, const ns::String& machine);
    // "<maker address>/tools/AppleModel.json".
    static std::string modelTableAddress();

    // YES for an identifier "iPad<n>,<m>" with n of 8 or more.
    static bool iPadPro();
    static bool iPadProFor(const ns::String& machine);

    // Total and free bytes of the file system holding Documents; 0 when unreadable.
    static std::uint64_t getDeviceMemorySize();
    static std::uint64_t getFreeDiskspace();
};

} // namespace ft
