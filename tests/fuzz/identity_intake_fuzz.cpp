// The identity intake ("qx://" texts): whatever the text, no line it logs holds an identifier it
// stored (unique id, serial, meid) whole. What the log shows as it is stays allowed: the text
// outside the identifiers' values (keys and other pairs' values, which are no identifiers) and
// the last four characters each identifier keeps; an identifier of four characters or fewer is
// all "*" and cannot be told from other text.

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/foundation/application_home.h"
#include "platform/foundation/string_services.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/log.h"
#include "session/app_delegate.h"
#include "session/core/identity_masking.h"
#include "tests/fuzz/fuzz.h"

namespace {

// A home of its own for the defaults the intake writes (every input writes them: in memory where
// the system has a memory file system), removed when the program ends.
struct ScratchHome {
    ScratchHome() {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                               ? "/dev/shm"
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "ft-intake-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path = pattern;
        ns::ApplicationHome::setPath(path);
        ns::UserDefaults::resetStandardUserDefaults();
    }
    ~ScratchHome() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

std::size_t characters(std::string_view text) {
    std::size_t n = 0;
    for (char c : text)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

std::string withoutScheme(std::string_view text) {
    return ns::stringByReplacingOccurrencesOfString(*ns::String::make(text), "qx://", "")->utf8();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ScratchHome home;
    static const rt::Id delegate = rt::immortal(ft::AppDelegate::staticClass().alloc());
    auto defaults = ns::UserDefaults::standardUserDefaults();
    static constexpr const char* kStoredIdentifiers[] = {"uniqueid", "serial", "meid"};
    for (const char* key : kStoredIdentifiers)
        defaults->removeObjectForKey(key);

    auto text = ns::String::make(fuzz::text(data, size));
    const std::string raw = text->utf8(); // what the intake reads
    ns::CapturedLog log;
    rt::send(delegate, rt::Sel("parseParamAndNotify:"), text);

    // What the log may show: the text with every identifier's value cut down to its last four
    // characters. Each value's place must hold that value, or the cut would hide nothing.
    std::string shown;
    std::size_t at = 0;
    for (const ft::IdentityPair& pair : ft::identityPairs(raw)) {
        const std::string_view value =
            std::string_view(raw).substr(pair.valueBegin, pair.valueEnd - pair.valueBegin);
        if (pair.value)
            fuzz::check(ns::stringByRemovingPercentEncoding(withoutScheme(value)) == *pair.value,
                        "a pair's place in the text does not hold its value");
        if (!pair.masked()) continue;
        shown.append(raw, at, pair.valueBegin - at);
        shown += '\xff'; // no valid UTF-8 holds it: nothing is found across the cut
        std::size_t tail = value.size();
        for (std::size_t kept = 0; kept < 4 && tail > 0;)
            kept += (static_cast<unsigned char>(value[--tail]) & 0xC0) != 0x80;
        if (characters(value) > 4) shown.append(value.substr(tail));
        at = pair.valueEnd;
    }
    shown.append(raw, at);

    for (const char* key : kStoredIdentifiers) {
        auto stored = defaults->stringForKey(key);
        if (!stored || stored->utf8() == "no uniqueid" || characters(stored->utf8()) <= 4) continue;
        if (shown.find(stored->utf8()) != std::string::npos) continue;
        for (const std::string& line : log.lines())
            fuzz::check(line.find(stored->utf8()) == std::string::npos,
                        "a log line holds a stored identifier whole");
    }
    return 0;
}
