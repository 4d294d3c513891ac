#include "platform/foundation/user_defaults.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <optional>
#include <utility>
#include <vector>

#include "platform/foundation/application_home.h"
#include "platform/foundation/application_identity.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/date.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/utf8.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"

namespace ns {

RT_DEFINE_CLASS(UserDefaults, "NSUserDefaults", rt::Object)

namespace {

constexpr int kMaxDepth = 256;

// ---------------------------------------------------------------------------------------------
// Encoding

void appendEscapedUnit(std::string& out, char32_t u) {
    static constexpr char hex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += hex[(u >> shift) & 0xF];
}

void encodeString(std::string& out, const String& s) {
    out += '"';
    auto plain = [&](char32_t c) {
        switch (c) {
        case '"':
            out += "\\\"";
            return;
        case '\\':
            out += "\\\\";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        case '\b':
            out += "\\b";
            return;
        case '\f':
            out += "\\f";
            return;
        default:
            if (c < 0x20)
                appendEscapedUnit(out, c);
            else
                out += static_cast<char>(c);
        }
    };
    if (s.isASCII()) {
        for (char c : s.utf8())
            plain(static_cast<unsigned char>(c));
    } else {
        // By UTF-16 units, so that lone surrogates survive as \u escapes.
        const std::u16string u = s.utf16();
        for (std::size_t i = 0; i < u.size(); ++i) {
            char32_t c = u[i];
            if (c < 0x80) {
                plain(c);
            } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 &&
                       u[i + 1] <= 0xDFFF) {
                detail::appendUTF8(out, 0x10000 + ((c - 0xD800) << 10) + (u[i + 1] - 0xDC00));
                ++i;
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                appendEscapedUnit(out, c);
            } else {
                detail::appendUTF8(out, c);
            }
        }
    }
    out += '"';
}

void appendDouble(std::string& out, double d) {
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    std::string_view text(buf, static_cast<std::size_t>(r.ptr - buf));
    out += text;
    if (text.find_first_of(".eE") == std::string_view::npos) out += ".0";
}

void newline(std::string& out, int depth) {
    out += '\n';
    out.append(static_cast<std::size_t>(depth) * 2, ' ');
}

bool encode(std::string& out, const rt::Object& v, int depth) {
    if (depth > kMaxDepth) return false;
    if (auto* s = rt::cast<const String>(&v)) {
        encodeString(out, *s);
    } else if (auto* n = rt::cast<const Number>(&v)) {
        if (n->isBool()) {
            out += n->boolValue() ? "true" : "false";
        } else if (n->isFloatingPoint()) {
            const double d = n->doubleValue();
            if (std::isnan(d))
                out += R"({"$double":"nan"})";
            else if (std::isinf(d))
                out += d > 0 ? R"({"$double":"inf"})" : R"({"$double":"-inf"})";
            else
                appendDouble(out, d);
        } else if (n->kind() == Number::Kind::UInt || n->kind() == Number::Kind::ULong ||
                   n->kind() == Number::Kind::ULongLong) {
            out += std::to_string(n->unsignedLongLongValue());
        } else {
            out += std::to_string(n->longLongValue());
        }
    } else if (auto* data = rt::cast<const Data>(&v)) {
        out += R"({"$data":")" + data->base64EncodedString() + "\"}";
    } else if (auto* date = rt::cast<const Date>(&v)) {
        out += R"({"$date":)";
        const double t = date->timeIntervalSinceReferenceDate();
        if (!std::isfinite(t)) return false;
        appendDouble(out, t);
        out += '}';
    } else if (auto* a = rt::cast<const Array>(&v)) {
        if (a->isEmpty()) {
            out += "[]";
            return true;
        }
        out += '[';
        for (std::size_t i = 0; i < a->count(); ++i) {
            if (i) out += ',';
            newline(out, depth + 1);
            if (!encode(out, *(*a)[i], depth + 1)) return false;
        }
        newline(out, depth);
        out += ']';
    } else if (auto* d = rt::cast<const Dictionary>(&v)) {
        std::vector<std::pair<const String*, const rt::Object*>> entries;
        for (auto [key, value] : *d) {
            auto* k = rt::cast<const String>(key.get());
            if (!k) return false;
            entries.emplace_back(k, value.get());
        }
        std::sort(entries.begin(), entries.end(),
                  [](auto& x, auto& y) { return x.first->utf8() < y.first->utf8(); });
        const bool wrap = entries.size() == 1 && entries[0].first->hasPrefix("$");
        if (wrap) {
            out += R"({"$dict":)";
            ++depth;
        }
        if (entries.empty()) {
            out += "{}";
        } else {
            out += '{';
            for (std::size_t i = 0; i < entries.size(); ++i) {
                if (i) out += ',';
                newline(out, depth + 1);
                encodeString(out, *entries[i].first);
                out += ": ";
                if (!encode(out, *entries[i].second, depth + 1)) return false;
            }
            newline(out, depth);
            out += '}';
        }
        if (wrap) out += '}';
    } else {
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Decoding

class Decoder {
public:
    explicit Decoder(std::string_view text) : s_(text) {}

    rt::Id document(std::string* error) {
        rt::Id v = value(0);
        if (v) {
            skipSpace();
            if (pos_ != s_.size()) v = fail("unexpected text after the value");
        }
        if (!v && error) *error = message_ + " at offset " + std::to_string(errorPos_);
        return v;
    }

private:
    rt::Id fail(const char* message) {
        if (message_.empty()) {
            message_ = message;
            errorPos_ = pos_;
        }
        return nullptr;
    }

    void skipSpace() {
        while (pos_ < s_.size() &&
               (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t'))
            ++pos_;
    }

    bool literal(std::string_view word) {
        if (s_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    rt::Id value(int depth) {
        if (depth > kMaxDepth) return fail("nesting too deep");
        skipSpace();
        if (pos_ >= s_.size()) return fail("unexpected end of text");
        const char c = s_[pos_];
        if (c == '{') return object(depth, true);
        if (c == '[') return array(depth);
        if (c == '"') return string();
        if (c == '-' || (c >= '0' && c <= '9')) return number();
        if (literal("true")) return Number::withBool(true);
        if (literal("false")) return Number::withBool(false);
        return fail("unexpected character");
    }

    rt::Id array(int depth) {
        ++pos_; // [
        std::vector<rt::Id> items;
        skipSpace();
        if (pos_ < s_.size() && s_[pos_] == ']') {
            ++pos_;
            return Array::make();
        }
        for (;;) {
            rt::Id v = value(depth + 1);
            if (!v) return nullptr;
            items.push_back(std::move(v));
            skipSpace();
            if (pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < s_.size() && s_[pos_] == ']') {
                ++pos_;
                return Array::make(std::move(items));
            }
            return fail("expected ',' or ']'");
        }
    }

    rt::Id object(int depth, bool tags) {
        ++pos_; // {
        std::vector<rt::Id> keys, values;
        skipSpace();
        if (pos_ < s_.size() && s_[pos_] == '}') {
            ++pos_;
            return Dictionary::make();
        }
        for (;;) {
            skipSpace();
            if (pos_ >= s_.size() || s_[pos_] != '"') return fail("expected a string key");
            rt::Ref<String> key = rt::cast<String>(string());
            if (!key) return nullptr;
            skipSpace();
            if (pos_ >= s_.size() || s_[pos_] != ':') return fail("expected ':'");
            ++pos_;
            rt::Id v;
            if (tags && key->isEqualToString("$dict")) {
                skipSpace();
                if (pos_ >= s_.size() || s_[pos_] != '{') return fail("expected an object after $dict");
                if (depth + 1 > kMaxDepth) return fail("nesting too deep");
                v = object(depth + 1, false);
            } else {
                v = value(depth + 1);
            }
            if (!v) return nullptr;
            keys.push_back(std::move(key));
            values.push_back(std::move(v));
            skipSpace();
            if (pos_ < s_.size() && s_[pos_] == ',') {
                ++pos_;
                continue;
            }
            if (pos_ < s_.size() && s_[pos_] == '}') {
                ++pos_;
                break;
            }
            return fail("expected ',' or '}'");
        }
        if (tags && keys.size() == 1) {
            auto* key = static_cast<String*>(keys[0].get());
            if (key->hasPrefix("$")) return tagged(key->utf8(), values[0]);
        }
        return Dictionary::withObjectsForKeys(values, keys);
    }

    rt::Id tagged(const std::string& tag, const rt::Id& v) {
        if (tag == "$dict") return v;
        if (tag == "$data") {
            auto* s = rt::cast<String>(v.get());
            if (!s) return fail("$data needs a string");
            auto data = Data::withBase64EncodedString(s->utf8());
            if (!data) return fail("bad base64 in $data");
            return data;
        }
        if (tag == "$date") {
            auto* n = rt::cast<Number>(v.get());
            if (!n || n->isBool()) return fail("$date needs a number");
            return Date::withTimeIntervalSinceReferenceDate(n->doubleValue());
        }
        if (tag == "$double") {
            auto* s = rt::cast<String>(v.get());
            if (s && s->isEqualToString("nan")) return Number::withDouble(std::nan(""));
            if (s && s->isEqualToString("inf")) return Number::withDouble(HUGE_VAL);
            if (s && s->isEqualToString("-inf")) return Number::withDouble(-HUGE_VAL);
            return fail("bad $double");
        }
        return fail("unknown $ tag");
    }

    bool hex4(char32_t& out) {
        if (pos_ + 4 > s_.size()) return false;
        out = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = s_[pos_++];
            out <<= 4;
            if (c >= '0' && c <= '9')
                out |= static_cast<char32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                out |= static_cast<char32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                out |= static_cast<char32_t>(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    rt::Id string() {
        ++pos_; // "
        const std::size_t start = pos_;
        bool simple = true; // no escapes: the text is the UTF-8 as it stands
        std::u16string units;
        std::string run; // unescaped UTF-8 since the last escape
        auto flush = [&] {
            if (!run.empty()) units += String::make(run)->utf16();
            run.clear();
        };
        while (pos_ < s_.size()) {
            const char c = s_[pos_];
            if (c == '"') {
                const std::string_view raw = s_.substr(start, pos_ - start);
                ++pos_;
                if (!String::isValidUTF8(simple ? raw : std::string_view(run))) return fail("invalid UTF-8");
                if (simple) return String::make(raw);
                flush();
                return String::fromUTF16(units);
            }
            if (static_cast<unsigned char>(c) < 0x20) return fail("control character in a string");
            if (c != '\\') {
                if (!simple) run += c;
                ++pos_;
                continue;
            }
            if (simple) {
                run.assign(s_.substr(start, pos_ - start));
                simple = false;
            }
            if (!String::isValidUTF8(run)) return fail("invalid UTF-8");
            flush();
            if (++pos_ >= s_.size()) break;
            const char e = s_[pos_++];
            switch (e) {
            case '"':
                units += u'"';
                break;
            case '\\':
                units += u'\\';
                break;
            case '/':
                units += u'/';
                break;
            case 'b':
                units += u'\b';
                break;
            case 'f':
                units += u'\f';
                break;
            case 'n':
                units += u'\n';
                break;
            case 'r':
                units += u'\r';
                break;
            case 't':
                units += u'\t';
                break;
            case 'u': {
                char32_t u;
                if (!hex4(u)) return fail("bad \\u escape");
                units += static_cast<char16_t>(u);
                break;
            }
            default:
                return fail("bad escape");
            }
        }
        return fail("unterminated string");
    }

    rt::Id number() {
        const std::size_t start = pos_;
        if (s_[pos_] == '-') ++pos_;
        auto digits = [&] {
            const std::size_t from = pos_;
            while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9')
                ++pos_;
            return pos_ - from;
        };
        const std::size_t intDigits = digits();
        if (intDigits == 0) return fail("bad number");
        if (intDigits > 1 && s_[pos_ - intDigits] == '0') return fail("leading zero in a number");
        bool floating = false;
        if (pos_ < s_.size() && s_[pos_] == '.') {
            ++pos_;
            if (digits() == 0) return fail("bad number");
            floating = true;
        }
        if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
            if (digits() == 0) return fail("bad number");
            floating = true;
        }
        const char* b = s_.data() + start;
        const char* e = s_.data() + pos_;
        if (!floating) {
            long long i;
            if (auto r = std::from_chars(b, e, i); r.ec == std::errc() && r.ptr == e)
                return Number::withLongLong(i);
            unsigned long long u;
            if (auto r = std::from_chars(b, e, u); r.ec == std::errc() && r.ptr == e)
                return Number::withUnsignedLongLong(u);
        }
        double d;
        auto r = std::from_chars(b, e, d);
        if (r.ptr != e || r.ec != std::errc()) return fail("bad number");
        return Number::withDouble(d);
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    std::string message_;
    std::size_t errorPos_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Copies

rt::Ref<Number> copyNumber(const Number& n) {
    using K = Number::Kind;
    switch (n.kind()) {
    case K::Bool:
        return Number::withBool(n.boolValue());
    case K::Float:
        return Number::withFloat(n.floatValue());
    case K::Double:
        return Number::withDouble(n.doubleValue());
    case K::UChar:
    case K::UShort:
    case K::UInt:
    case K::ULong:
    case K::ULongLong:
        return Number::withUnsignedLongLong(n.unsignedLongLongValue());
    case K::Char:
        return Number::withChar(n.charValue());
    case K::Short:
        return Number::withShort(n.shortValue());
    case K::Int:
        return Number::withInt(n.intValue());
    case K::Long:
        return Number::withLong(n.longValue());
    case K::LongLong:
        break;
    }
    return Number::withLongLong(n.longLongValue());
}

// A fresh immutable copy of a property list; nil when `v` is not one.
rt::Id plistCopy(const rt::Object& v, int depth = 0) {
    if (depth > kMaxDepth) return nullptr;
    if (auto* s = rt::cast<const String>(&v))
        return s->isASCII() ? String::make(s->utf8()) : String::fromUTF16(s->utf16());
    if (auto* n = rt::cast<const Number>(&v)) return copyNumber(*n);
    if (auto* d = rt::cast<const Data>(&v)) return Data::make(d->view());
    if (auto* t = rt::cast<const Date>(&v))
        return Date::withTimeIntervalSinceReferenceDate(t->timeIntervalSinceReferenceDate());
    if (auto* a = rt::cast<const Array>(&v)) {
        std::vector<rt::Id> items;
        items.reserve(a->count());
        for (auto& item : *a) {
            rt::Id c = plistCopy(*item, depth + 1);
            if (!c) return nullptr;
            items.push_back(std::move(c));
        }
        return Array::make(std::move(items));
    }
    if (auto* d = rt::cast<const Dictionary>(&v)) {
        std::vector<rt::Id> keys, values;
        for (auto [key, value] : *d) {
            if (!rt::cast<const String>(key.get())) return nullptr;
            rt::Id k = plistCopy(*key, depth + 1), c = plistCopy(*value, depth + 1);
            if (!c) return nullptr;
            keys.push_back(std::move(k));
            values.push_back(std::move(c));
        }
        return Dictionary::withObjectsForKeys(values, keys);
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Instances

std::mutex gStandardLock;
rt::Ref<UserDefaults> gStandard;

std::mutex gRegistryLock;
std::vector<UserDefaults*> gRegistry;

} // namespace

namespace detail {

std::string encodePropertyListJSON(const rt::Object& value) {
    std::string out;
    if (!encode(out, value, 0)) return {};
    out += '\n';
    return out;
}

rt::Id decodePropertyListJSON(std::string_view text, std::string* error) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    return Decoder(text).document(error);
}

} // namespace detail

UserDefaults::UserDefaults(std::string path, bool permanent) : path_(std::move(path)), permanent_(permanent) {
    std::lock_guard g(gRegistryLock);
    gRegistry.push_back(this);
}

UserDefaults::~UserDefaults() {
    std::lock_guard g(gRegistryLock);
    gRegistry.erase(std::find(gRegistry.begin(), gRegistry.end(), this));
}

std::string UserDefaults::standardFilePath() {
    std::string id = kApplicationIdentifier;
    if (auto s = rt::cast<String>(Bundle::mainBundle()->objectForInfoDictionaryKey("CFBundleIdentifier")))
        if (!s->isEmpty() && s->utf8().find('/') == std::string::npos && s->utf8() != "." &&
            s->utf8() != "..")
            id = s->utf8();
    return (std::filesystem::path(ApplicationHome::path()) / "Library" / "Preferences" / (id + ".json"))
        .string();
}

rt::Ref<UserDefaults> UserDefaults::standardUserDefaults() {
    std::lock_guard g(gStandardLock);
    if (!gStandard) {
        std::string path = standardFilePath();
        rt::PermanentScope permanent;
        gStandard = rt::make<UserDefaults>(std::move(path), true);
    }
    return gStandard;
}

void UserDefaults::resetStandardUserDefaults() {
    rt::Ref<UserDefaults> old;
    {
        std::lock_guard g(gStandardLock);
        old = std::move(gStandard);
    }
    if (old) old->synchronize();
}

bool UserDefaults::flushAll() {
    std::vector<rt::Ref<UserDefaults>> all;
    {
        std::lock_guard g(gRegistryLock);
        for (UserDefaults* d : gRegistry)
            if (d->tryRetain()) all.push_back(rt::Ref<UserDefaults>::adopt(d));
    }
    bool ok = true;
    for (auto& d : all)
        ok = d->synchronize() && ok;
    return ok;
}

rt::Ref<UserDefaults> UserDefaults::makeWithFile(std::string path) {
    return rt::make<UserDefaults>(std::move(path), false);
}

void UserDefaults::ensureLoaded() const {
    if (loaded_) return;
    loaded_ = true;
    std::error_code ec;
    if (!std::filesystem::exists(path_, ec)) return;
    std::optional<rt::PermanentScope> permanent;
    if (permanent_) permanent.emplace();
    rt::Ref<Error> error;
    rt::Ref<Data> data = readFile(path_, &error);
    if (!data) {
        logLine("UserDefaults: cannot read " + path_ + ": " + error->localizedDescription()->utf8());
        return;
    }
    std::string message;
    auto dict = rt::cast<Dictionary>(detail::decodePropertyListJSON(data->view(), &message));
    if (!dict) {
        logLine("UserDefaults: " + path_ + " is corrupt (" + (message.empty() ? "not an object" : message) +
                "); starting empty");
        return;
    }
    for (auto [key, value] : *dict)
        values_[static_cast<String*>(key.get())->utf8()] = value;
}

rt::Id UserDefaults::lookup(std::string_view key) const {
    ensureLoaded();
    if (auto it = values_.find(key); it != values_.end()) return it->second;
    if (auto it = registered_.find(key); it != registered_.end()) return it->second;
    return nullptr;
}

rt::Id UserDefaults::objectForKey(std::string_view key) const {
    std::lock_guard g(lock_);
    return lookup(key);
}

void UserDefaults::changed() {
    NotificationCenter::defaultCenter()->postNotificationName(NSUserDefaultsDidChangeNotification,
                                                              rt::Id(this));
}

void UserDefaults::setObjectForKey(const rt::Id& value, std::string_view key) {
    if (!value) {
        removeObjectForKey(key);
        return;
    }
    rt::Id copy;
    {
        std::optional<rt::PermanentScope> permanent;
        if (permanent_) permanent.emplace();
        copy = plistCopy(*value);
    }
    if (!copy) {
        logLine("UserDefaults: attempt to set a non-property-list value for key " + std::string(key) + ": " +
                value->description());
        return;
    }
    rt::Id old; // released outside the lock
    {
        std::lock_guard g(lock_);
        ensureLoaded();
        auto [it, inserted] = values_.try_emplace(std::string(key));
        old = std::exchange(it->second, std::move(copy));
        dirty_ = true;
        ++generation_;
    }
    changed();
}

void UserDefaults::setBool(bool value, std::string_view key) {
    setObjectForKey(Number::withBool(value), key);
}

void UserDefaults::setInteger(long value, std::string_view key) {
    setObjectForKey(Number::withLong(value), key);
}

void UserDefaults::setDouble(double value, std::string_view key) {
    setObjectForKey(Number::withDouble(value), key);
}

void UserDefaults::setString(std::string_view value, std::string_view key) {
    setObjectForKey(String::make(value), key);
}

void UserDefaults::removeObjectForKey(std::string_view key) {
    rt::Id old;
    {
        std::lock_guard g(lock_);
        ensureLoaded();
        auto it = values_.find(key);
        if (it == values_.end()) return;
        old = std::move(it->second);
        values_.erase(it);
        dirty_ = true;
        ++generation_;
    }
    changed();
}

bool UserDefaults::boolForKey(std::string_view key) const {
    rt::Id v = objectForKey(key);
    if (auto* n = dynamic_cast<rt::NumericValue*>(v.get())) return n->boolValue();
    return false;
}

long UserDefaults::integerForKey(std::string_view key) const {
    rt::Id v = objectForKey(key);
    if (auto* n = rt::cast<Number>(v.get())) return n->integerValue();
    if (auto* s = rt::cast<String>(v.get())) return s->integerValue();
    return 0;
}

double UserDefaults::doubleForKey(std::string_view key) const {
    rt::Id v = objectForKey(key);
    if (auto* n = dynamic_cast<rt::NumericValue*>(v.get())) return n->doubleValue();
    return 0;
}

rt::Ref<String> UserDefaults::stringForKey(std::string_view key) const {
    rt::Id v = objectForKey(key);
    if (auto s = rt::cast<String>(v)) return s;
    if (auto* n = rt::cast<Number>(v.get())) return String::make(n->description());
    return nullptr;
}

rt::Ref<Array> UserDefaults::arrayForKey(std::string_view key) const {
    return rt::cast<Array>(objectForKey(key));
}

rt::Ref<Dictionary> UserDefaults::dictionaryForKey(std::string_view key) const {
    return rt::cast<Dictionary>(objectForKey(key));
}

rt::Ref<Data> UserDefaults::dataForKey(std::string_view key) const {
    return rt::cast<Data>(objectForKey(key));
}

void UserDefaults::registerDefaults(const Dictionary& defaults) {
    std::vector<std::pair<std::string, rt::Id>> copies;
    {
        std::optional<rt::PermanentScope> permanent;
        if (permanent_) permanent.emplace();
        for (auto [key, value] : defaults) {
            auto* k = rt::cast<String>(key.get());
            rt::Id c = k ? plistCopy(*value) : nullptr;
            if (!c) {
                logLine("UserDefaults: registerDefaults ignores the non-property-list entry " +
                        key->description());
                continue;
            }
            copies.emplace_back(k->utf8(), std::move(c));
        }
    }
    std::vector<rt::Id> old;
    std::lock_guard g(lock_);
    for (auto& [k, v] : copies) {
        rt::Id& slot = registered_[k];
        old.push_back(std::exchange(slot, std::move(v)));
    }
}

rt::Ref<Dictionary> UserDefaults::dictionaryRepresentation() const {
    std::vector<rt::Id> keys, values;
    std::lock_guard g(lock_);
    ensureLoaded();
    std::map<std::string_view, rt::Id> merged;
    for (auto& [k, v] : registered_)
        merged[k] = v;
    for (auto& [k, v] : values_)
        merged[k] = v;
    for (auto& [k, v] : merged) {
        keys.push_back(String::make(k));
        values.push_back(v);
    }
    return Dictionary::withObjectsForKeys(values, keys);
}

bool UserDefaults::synchronize() {
    std::lock_guard w(writeLock_);
    std::vector<std::pair<std::string, rt::Id>> snapshot;
    std::uint64_t generation;
    {
        std::lock_guard g(lock_);
        ensureLoaded();
        if (!dirty_) return true;
        snapshot.assign(values_.begin(), values_.end());
        generation = generation_;
    }
    std::vector<rt::Id> keys, values;
    for (auto& [k, v] : snapshot) {
        keys.push_back(String::make(k));
        values.push_back(v);
    }
    const std::string text = detail::encodePropertyListJSON(*Dictionary::withObjectsForKeys(values, keys));

    const std::filesystem::path dir = std::filesystem::path(path_).parent_path();
    std::error_code ec;
    if (!dir.empty()) std::filesystem::create_directories(dir, ec);
    rt::Ref<Error> error;
    if (ec || !writeAtomically(path_, text, &error)) {
        logLine("UserDefaults: cannot write " + path_ + ": " +
                (ec ? ec.message() : error->localizedDescription()->utf8()));
        return false;
    }
    std::lock_guard g(lock_);
    if (generation_ == generation) dirty_ = false;
    return true;
}

rt::Id UserDefaults::valueForKey(std::string_view key) const {
    return objectForKey(key);
}

void UserDefaults::setValueForKey(const rt::Id& value, std::string_view key) {
    setObjectForKey(value, key);
}

} // namespace ns
