#include "platform/foundation/string_services.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/foundation/exception.h"
#include "platform/foundation/unit_search.h"

namespace ns {

namespace {

rt::Ref<String> same(const String& s) {
    return rt::retained(&s);
}

std::u16string unitsOf(std::string_view utf8) {
    return String::make(utf8)->utf16();
}

char16_t lowerOf(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? c + 32 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c == 0x130) return u'i';
    if ((c >= 0x100 && c <= 0x137 && c != 0x131) || (c >= 0x14A && c <= 0x177))
        return (c % 2 == 0) ? c + 1 : c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 1) ? c + 1 : c;
    if (c == 0x178) return 0xFF;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 37;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 63;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

char16_t upperOf(char16_t c) {
    if (c < 0x80) return (c >= u'a' && c <= u'z') ? c - 32 : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    if (c == 0xFF) return 0x178;
    if (c == 0xB5) return 0x39C;
    if (c == 0x131) return u'I';
    if (c == 0x17F) return u'S';
    if ((c >= 0x101 && c <= 0x137) || (c >= 0x14B && c <= 0x177)) return (c % 2 == 1) ? c - 1 : c;
    if ((c >= 0x13A && c <= 0x148) || (c >= 0x17A && c <= 0x17E)) return (c % 2 == 0) ? c - 1 : c;
    if (c == 0x3C2) return 0x3A3;
    if (c >= 0x3B1 && c <= 0x3C9) return c - 32;
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return c - 37;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 63;
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    return c;
}

// Simple case folding: one unit for one unit.
char16_t foldOf(char16_t c) {
    switch (c) {
    case 0x3C2:
        return 0x3C3; // final sigma
    case 0x17F:
        return u's'; // long s
    case 0xB5:
        return 0x3BC; // micro sign
    default:
        return lowerOf(c);
    }
}

bool isWhite(char16_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string_view trimTrailingSlashes(std::string_view p) {
    while (p.size() > 1 && p.back() == '/')
        p.remove_suffix(1);
    return p;
}

} // namespace

rt::Ref<Array> componentsSeparatedByString(const String& s, std::string_view separator) {
    if (separator.empty()) return Array::withObjects({same(s)});
    const std::u16string u = s.utf16();
    const detail::UnitSearcher sep(unitsOf(separator));
    std::vector<rt::Id> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = sep.find(u, start)) != std::u16string::npos; start = at + sep.size())
        parts.push_back(String::fromUTF16(std::u16string_view(u).substr(start, at - start)));
    parts.push_back(String::fromUTF16(std::u16string_view(u).substr(start)));
    return Array::make(std::move(parts));
}

rt::Ref<String> stringByReplacingOccurrencesOfString(const String& s, std::string_view target,
                                                     std::string_view replacement) {
    if (target.empty() || !s.containsString(target)) return same(s);
    const std::u16string u = s.utf16(), r = unitsOf(replacement);
    const detail::UnitSearcher t(unitsOf(target));
    std::u16string out;
    std::size_t start = 0;
    for (std::size_t at; (at = t.find(u, start)) != std::u16string::npos; start = at + t.size()) {
        out.append(u, start, at - start);
        out += r;
    }
    out.append(u, start);
    return String::fromUTF16(out);
}

rt::Ref<String> stringByTrimmingWhitespaceAndNewlines(const String& s) {
    std::size_t begin = 0, end = s.length();
    while (begin < end && isWhite(s.characterAtIndex(begin)))
        ++begin;
    while (end > begin && isWhite(s.characterAtIndex(end - 1)))
        --end;
    if (begin == 0 && end == s.length()) return same(s);
    return s.substringWithRange({begin, end - begin});
}

bool containsString(const String& s, std::string_view needle) {
    return s.containsString(needle);
}

namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

Range rangeOfStringCaseInsensitive(const String& s, std::string_view needle, Range searchRange) {
    if (searchRange.location > s.length() || searchRange.length > s.length() - searchRange.location)
        raise(RangeException, "rangeOfString: range {" + std::to_string(searchRange.location) + ", " +
                                  std::to_string(searchRange.length) + "} out of bounds; string length " +
                                  std::to_string(s.length()));
    if (needle.empty()) return {NotFound, 0};
    if (isAscii(s.utf8()) && isAscii(needle)) {
        // One unit per byte: search the bytes, folded as the units would be, in linear time.
        if (needle.size() > searchRange.length) return {NotFound, 0};
        auto folded = [](std::string_view text) {
            std::string out(text);
            std::transform(out.begin(), out.end(), out.begin(), asciiLower);
            return out;
        };
        const std::string_view range =
            std::string_view(s.utf8()).substr(searchRange.location, searchRange.length);
        const std::size_t at = detail::findBytes(folded(range), folded(needle));
        if (at == std::string_view::npos) return {NotFound, 0};
        return {searchRange.location + at, needle.size()};
    }
    std::u16string n = unitsOf(needle);
    for (auto& c : n)
        c = foldOf(c);
    if (n.size() > searchRange.length) return {NotFound, 0};
    std::u16string hay = s.utf16().substr(searchRange.location, searchRange.length);
    for (auto& c : hay)
        c = foldOf(c);
    const std::size_t at = detail::UnitSearcher(n).find(hay);
    if (at == std::u16string::npos) return {NotFound, 0};
    return {searchRange.location + at, n.size()};
}

Range rangeOfStringCaseInsensitive(const String& s, std::string_view needle) {
    return rangeOfStringCaseInsensitive(s, needle, {0, s.length()});
}

rt::Ref<String> lowercaseString(const String& s) {
    std::u16string u = s.utf16();
    for (auto& c : u)
        c = lowerOf(c);
    return String::fromUTF16(u);
}

rt::Ref<String> uppercaseString(const String& s) {
    const std::u16string u = s.utf16();
    std::u16string out;
    out.reserve(u.size());
    for (char16_t c : u) {
        if (c == 0xDF)
            out += u"SS";
        else
            out.push_back(upperOf(c));
    }
    return String::fromUTF16(out);
}

std::optional<std::string> stringByRemovingPercentEncoding(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        if (i + 2 >= s.size()) return std::nullopt;
        const int hi = hexValue(s[i + 1]), lo = hexValue(s[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    if (!String::isValidUTF8(out)) return std::nullopt;
    return out;
}

std::string stringByAddingPercentEncoding(std::string_view s) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size());
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~') {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string stringByAppendingPathComponent(std::string_view path, std::string_view component) {
    std::string joined(path);
    if (!joined.empty() && !component.empty()) joined += '/';
    joined += component;
    std::string out;
    for (char c : joined)
        if (!(c == '/' && !out.empty() && out.back() == '/')) out += c;
    return std::string(trimTrailingSlashes(out));
}

std::string lastPathComponent(std::string_view path) {
    path = trimTrailingSlashes(path);
    if (path == "/") return "/";
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string stringByDeletingLastPathComponent(std::string_view path) {
    path = trimTrailingSlashes(path);
    if (path == "/") return "/";
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return "";
    if (slash == 0) return "/";
    return std::string(trimTrailingSlashes(path.substr(0, slash)));
}

std::string pathExtension(std::string_view path) {
    const std::string last = lastPathComponent(path);
    const std::size_t dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == last.size()) return "";
    return last.substr(dot + 1);
}

std::string stringByDeletingPathExtension(std::string_view path) {
    path = trimTrailingSlashes(path);
    const std::string ext = pathExtension(path);
    if (ext.empty()) return std::string(path);
    return std::string(path.substr(0, path.size() - ext.size() - 1));
}

std::string stringByAppendingPathExtension(std::string_view path, std::string_view extension) {
    std::string out(trimTrailingSlashes(path));
    if (!extension.empty()) out += "." + std::string(extension);
    return out;
}

} // namespace ns
