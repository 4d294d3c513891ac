#include "platform/foundation/url.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <system_error>

#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(URL, "NSURL", rt::Object)

namespace {

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDecimalDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHex(char c) {
    return isDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int hexDigitValue(char c) {
    return isDecimalDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10;
}

bool isUnreserved(char c) {
    return isAlpha(c) || isDecimalDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}
bool isSubDelim(char c) {
    return std::string_view("!$&'()*+,;=").find(c) != std::string_view::npos;
}
// Characters a URL string may hold as they are (plus "%" introducing an escape).
bool isURLChar(char c) {
    return isUnreserved(c) || isSubDelim(c) || c == ':' || c == '/' || c == '?' || c == '#' || c == '[' ||
           c == ']' || c == '@';
}
// Characters a path keeps unescaped.
bool isPathChar(char c) {
    return isUnreserved(c) || isSubDelim(c) || c == ':' || c == '@' || c == '/';
}

std::string percentEncode(std::string_view s, bool (*keep)(char)) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (keep(c)) {
            out += c;
        } else {
            auto b = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

// Escapes are checked when the URL is made, so they are well formed here; the result may still
// not be UTF-8.
std::optional<std::string> percentDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && isHex(s[i + 1]) && isHex(s[i + 2])) {
            out += static_cast<char>(hexDigitValue(s[i + 1]) * 16 + hexDigitValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    if (!String::isValidUTF8(out)) return std::nullopt;
    return out;
}

} // namespace

bool URL::parse(std::string s, URL& u) {
    if (s.empty()) return false;
    const std::size_t n = s.size();
    bool sawHash = false;
    for (std::size_t i = 0; i < n; ++i) {
        char c = s[i];
        if (c == '%') {
            if (i + 2 >= n || !isHex(s[i + 1]) || !isHex(s[i + 2])) return false;
            i += 2;
        } else if (c == '#') {
            if (sawHash) return false;
            sawHash = true;
        } else if (!isURLChar(c)) {
            return false;
        }
    }

    std::size_t pos = 0;
    // scheme ":" — letters first, then letters, digits, "+", "-", "."; ended by ":" before any of
    // "/?#".
    if (isAlpha(s[0])) {
        std::size_t i = 1;
        while (i < n && (isAlpha(s[i]) || isDecimalDigit(s[i]) || s[i] == '+' || s[i] == '-' || s[i] == '.'))
            ++i;
        if (i < n && s[i] == ':') {
            u.scheme_ = {0, i, true};
            pos = i + 1;
        }
    }

    std::size_t hierEnd = s.find_first_of("?#", pos);
    if (hierEnd == std::string::npos) hierEnd = n;
    if (s.compare(pos, 2, "//") == 0) {
        std::size_t a = pos + 2;
        std::size_t aEnd = s.find_first_of("/?#", a);
        if (aEnd == std::string::npos) aEnd = n;
        std::size_t hostStart = a;
        std::size_t at = s.rfind('@', aEnd == 0 ? 0 : aEnd - 1);
        if (at != std::string::npos && at >= a && at < aEnd) {
            std::size_t colon = s.find(':', a);
            if (colon != std::string::npos && colon < at) {
                u.user_ = {a, colon, true};
                u.password_ = {colon + 1, at, true};
            } else {
                u.user_ = {a, at, true};
            }
            hostStart = at + 1;
        }
        std::size_t hostEnd;
        std::size_t portColon = std::string::npos;
        if (hostStart < aEnd && s[hostStart] == '[') {
            std::size_t close = s.find(']', hostStart);
            if (close == std::string::npos || close >= aEnd) return false;
            for (std::size_t i = hostStart + 1; i < close; ++i)
                if (!isHex(s[i]) && s[i] != ':' && s[i] != '.') return false;
            u.host_ = {hostStart + 1, close, true};
            hostEnd = close + 1;
            if (hostEnd < aEnd) {
                if (s[hostEnd] != ':') return false;
                portColon = hostEnd;
            }
        } else {
            std::size_t colon = s.find(':', hostStart);
            hostEnd = colon != std::string::npos && colon < aEnd ? colon : aEnd;
            if (colon != std::string::npos && colon < aEnd) portColon = colon;
            u.host_ = {hostStart, hostEnd, true};
        }
        if (portColon != std::string::npos) {
            long port = 0;
            for (std::size_t i = portColon + 1; i < aEnd; ++i) {
                if (!isDecimalDigit(s[i])) return false;
                port = port * 10 + (s[i] - '0');
                if (port > 65535) return false;
            }
            if (portColon + 1 < aEnd) u.port_ = {portColon + 1, aEnd, true};
        }
        // Brackets belong to the host alone.
        for (std::size_t i = a; i < aEnd; ++i)
            if ((s[i] == '[' || s[i] == ']') &&
                !(u.host_.present && (i + 1 == u.host_.begin || i == u.host_.end)))
                return false;
        pos = aEnd;
    }
    for (std::size_t i = pos; i < n; ++i)
        if (s[i] == '[' || s[i] == ']') return false;

    u.path_ = {pos, hierEnd, true};
    if (hierEnd < n && s[hierEnd] == '?') {
        std::size_t qEnd = s.find('#', hierEnd);
        if (qEnd == std::string::npos) qEnd = n;
        u.query_ = {hierEnd + 1, qEnd, true};
        hierEnd = qEnd;
    }
    if (hierEnd < n && s[hierEnd] == '#') u.fragment_ = {hierEnd + 1, n, true};
    u.string_ = std::move(s);
    return true;
}

rt::Ref<URL> URL::URLWithString(std::string_view string) {
    auto url = rt::make<URL>();
    if (!parse(std::string(string), *url)) return nullptr;
    return url;
}

rt::Ref<URL> URL::URLWithString(const rt::Ref<String>& string) {
    if (!string) return nullptr;
    return URLWithString(std::string_view(string->utf8()));
}

rt::Ref<URL> URL::fileURLWithPath(std::string_view path, bool isDirectory) {
    std::string full(path);
    if (full.empty() || full[0] != '/') {
        std::error_code ec;
        std::string cwd = std::filesystem::current_path(ec).string();
        if (ec) cwd = "/";
        if (cwd.empty() || cwd.back() != '/') cwd += '/';
        full = cwd + full;
    }
    if (isDirectory && full.back() != '/') full += '/';
    return URLWithString("file://" + percentEncode(full, isPathChar));
}

rt::Ref<URL> URL::fileURLWithPath(std::string_view path) {
    std::error_code ec;
    bool dir = !path.empty() && std::filesystem::is_directory(std::filesystem::path(path), ec);
    return fileURLWithPath(path, dir);
}

rt::Ref<String> URL::absoluteString() const {
    return String::make(string_);
}

rt::Ref<String> URL::raw(const Part& part) const {
    if (!part.present) return nullptr;
    return String::make(part.in(string_));
}

rt::Ref<String> URL::decoded(const Part& part) const {
    if (!part.present) return nullptr;
    auto text = percentDecode(part.in(string_));
    if (!text) return nullptr;
    return String::make(*text);
}

rt::Ref<String> URL::scheme() const {
    return raw(scheme_);
}
rt::Ref<String> URL::user() const {
    return decoded(user_);
}
rt::Ref<String> URL::password() const {
    return decoded(password_);
}
rt::Ref<String> URL::host() const {
    return decoded(host_);
}
rt::Ref<String> URL::query() const {
    return raw(query_);
}
rt::Ref<String> URL::fragment() const {
    return raw(fragment_);
}

rt::Ref<Number> URL::port() const {
    if (!port_.present) return nullptr;
    long port = 0;
    for (char c : port_.in(string_))
        port = port * 10 + (c - '0');
    return Number::withLong(port);
}

rt::Ref<String> URL::path() const {
    auto text = percentDecode(path_.in(string_));
    if (!text) return nullptr;
    if (text->size() > 1 && text->back() == '/') text->pop_back();
    return String::make(*text);
}

bool URL::isFileURL() const {
    std::string_view s = scheme_.in(string_);
    return scheme_.present && s.size() == 4 && (s[0] | 0x20) == 'f' && (s[1] | 0x20) == 'i' &&
           (s[2] | 0x20) == 'l' && (s[3] | 0x20) == 'e';
}

rt::Ref<URL> URL::URLByAppendingPathComponent(std::string_view component) const {
    std::string path(path_.in(string_));
    if (path.empty() || path.back() != '/') path += '/';
    path += percentEncode(component, isPathChar);
    return URLWithString(string_.substr(0, path_.begin) + path + string_.substr(path_.end));
}

bool URL::isEqual(const rt::Object* other) const {
    if (other == this) return true;
    auto* u = dynamic_cast<const URL*>(other);
    return u && u->string_ == string_;
}

std::size_t URL::hash() const {
    return std::hash<std::string>{}(string_);
}

} // namespace ns
