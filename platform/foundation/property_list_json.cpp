#include "platform/foundation/property_list_json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/data.h"
#include "platform/foundation/date.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/json.h"
#include "platform/foundation/string.h"
#include "platform/foundation/text_escaping.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"

namespace ns::detail {

namespace {

constexpr int kMaxDepth = PropertyListJSONMaxDepth;

bool isSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDFFF;
}

// True when the units hold a surrogate that is not half of a pair.
bool hasLoneSurrogate(const std::u16string& u) {
    for (std::size_t i = 0; i < u.size(); ++i) {
        if (!isSurrogate(u[i])) continue;
        if (u[i] <= 0xDBFF && i + 1 < u.size() && u[i + 1] >= 0xDC00 && u[i + 1] <= 0xDFFF)
            ++i;
        else
            return true;
    }
    return false;
}

// ---- Writing ----------------------------------------------------------------------------------

class TaggedJSONWriter : public TextWriter {
public:
    bool write(const rt::Object& v, int depth) {
        if (auto* s = rt::cast<const String>(&v)) return string(*s);
        if (auto* n = rt::cast<const Number>(&v)) return number(*n);
        if (auto* d = rt::cast<const Data>(&v)) {
            out_ += R"({"$data":")" + d->base64EncodedString() + "\"}";
            return true;
        }
        if (auto* date = rt::cast<const Date>(&v)) {
            out_ += R"({"$date":)";
            real(date->timeIntervalSinceReferenceDate());
            out_ += '}';
            return true;
        }
        if (auto* a = rt::cast<const Array>(&v)) return array(*a, depth + 1);
        if (auto* d = rt::cast<const Dictionary>(&v)) return dictionary(*d, depth + 1);
        return fail("a " + std::string(v.getClass().name()) + " is not a property list value");
    }

private:
    bool deeper(int depth) {
        return depth <= kMaxDepth ||
               fail("nested deeper than " + std::to_string(kMaxDepth) + " arrays and dictionaries");
    }

    void newline(int depth) {
        out_ += '\n';
        out_.append(static_cast<std::size_t>(depth) * 2, ' ');
    }

    void quoted(std::string_view utf8) {
        out_ += '"';
        appendEscaped(out_, utf8, EscapeTable::json(false));
        out_ += '"';
    }

    bool string(const String& s) {
        if (s.isASCII()) {
            quoted(s.utf8());
            return true;
        }
        const std::u16string units = s.utf16();
        if (!hasLoneSurrogate(units)) {
            quoted(s.utf8());
            return true;
        }
        out_ += R"({"$utf16":[)";
        for (std::size_t i = 0; i < units.size(); ++i) {
            if (i) out_ += ',';
            out_ += std::to_string(static_cast<unsigned>(units[i]));
        }
        out_ += "]}";
        return true;
    }

    // A double; one that is not finite as its tag.
    void real(double d) {
        if (std::isnan(d)) {
            out_ += R"({"$double":"nan"})";
        } else if (std::isinf(d)) {
            out_ += d > 0 ? R"({"$double":"inf"})" : R"({"$double":"-inf"})";
        } else {
            char buf[64];
            auto r = std::to_chars(buf, buf + sizeof buf, d);
            const std::string_view text(buf, static_cast<std::size_t>(r.ptr - buf));
            out_ += text;
            if (text.find_first_of(".eE") == std::string_view::npos) out_ += ".0";
        }
    }

    bool number(const Number& n) {
        if (n.isBool())
            out_ += n.boolValue() ? "true" : "false";
        else if (n.isFloatingPoint())
            real(n.doubleValue());
        else
            out_ += n.description(); // integers exactly, in their own signedness
        return true;
    }

    bool array(const Array& a, int depth) {
        if (!deeper(depth)) return false;
        if (a.isEmpty()) {
            out_ += "[]";
            return true;
        }
        out_ += '[';
        for (std::size_t i = 0; i < a.count(); ++i) {
            if (i) out_ += ',';
            newline(depth);
            if (!write(*a[i], depth)) return false;
        }
        newline(depth - 1);
        out_ += ']';
        return true;
    }

    bool dictionary(const Dictionary& d, int depth) {
        if (!deeper(depth)) return false;
        std::vector<std::pair<const String*, const rt::Object*>> entries;
        entries.reserve(d.count());
        for (auto [key, value] : d) {
            auto* k = rt::cast<const String>(key.get());
            if (!k)
                return fail("a dictionary key is a " + std::string(key->getClass().name()) +
                            ", not a string");
            entries.emplace_back(k, value.get());
        }
        std::sort(entries.begin(), entries.end(),
                  [](auto& x, auto& y) { return x.first->utf8() < y.first->utf8(); });
        // A single '$' key would read as a tag: such a dictionary is wrapped.
        const bool wrap = entries.size() == 1 && entries[0].first->hasPrefix("$");
        if (wrap) out_ += R"({"$dict":)";
        if (entries.empty()) {
            out_ += "{}";
        } else {
            out_ += '{';
            for (std::size_t i = 0; i < entries.size(); ++i) {
                if (i) out_ += ',';
                newline(depth);
                quoted(entries[i].first->utf8());
                out_ += ": ";
                if (!write(*entries[i].second, depth)) return false;
            }
            newline(depth - 1);
            out_ += '}';
        }
        if (wrap) out_ += '}';
        return true;
    }

};

// ---- Reading: the tags over what JSONSerialization read ----------------------------------------

class Untagger {
public:
    // The property list `v` stands for (the same object when it holds no tag); nil on failure.
    rt::Id value(const rt::Id& v, int depth) {
        if (rt::cast<String>(v.get()) || rt::cast<Number>(v.get())) return v;
        if (auto* a = rt::cast<Array>(v.get())) return array(*a, v, depth + 1);
        if (auto* d = rt::cast<Dictionary>(v.get())) {
            if (d->count() == 1) {
                auto [key, inner] = *d->begin();
                auto* tag = rt::cast<String>(key.get());
                if (tag && tag->hasPrefix("$")) return tagged(tag->utf8(), inner, depth);
            }
            return dictionary(*d, v, depth + 1);
        }
        return fail("null is not a property list value");
    }

    const std::string& problem() const { return problem_; }

private:
    rt::Id fail(std::string what) {
        if (problem_.empty()) problem_ = std::move(what);
        return nullptr;
    }

    bool deeper(int depth) {
        return depth <= kMaxDepth ||
               (fail("nested deeper than " + std::to_string(kMaxDepth) + " arrays and dictionaries"), false);
    }

    rt::Id array(const Array& a, const rt::Id& self, int depth) {
        if (!deeper(depth)) return nullptr;
        std::vector<rt::Id> items;
        bool changed = false;
        items.reserve(a.count());
        for (const rt::Id& item : a) {
            rt::Id v = value(item, depth);
            if (!v) return nullptr;
            changed = changed || v != item;
            items.push_back(std::move(v));
        }
        return changed ? rt::Id(Array::make(std::move(items))) : self;
    }

    rt::Id dictionary(const Dictionary& d, const rt::Id& self, int depth) {
        if (!deeper(depth)) return nullptr;
        std::vector<rt::Id> keys, values;
        bool changed = false;
        for (auto [key, item] : d) {
            rt::Id v = value(item, depth);
            if (!v) return nullptr;
            changed = changed || v != item;
            keys.push_back(key);
            values.push_back(std::move(v));
        }
        return changed ? rt::Id(Dictionary::withObjectsForKeys(values, keys)) : self;
    }

    // "nan", "inf" or "-inf" as a double.
    static bool nonFinite(const rt::Object* v, double& out) {
        auto* s = rt::cast<const String>(v);
        if (s && s->isEqualToString("nan"))
            out = std::nan("");
        else if (s && s->isEqualToString("inf"))
            out = HUGE_VAL;
        else if (s && s->isEqualToString("-inf"))
            out = -HUGE_VAL;
        else
            return false;
        return true;
    }

    // A double from a number or a {"$double": ...} object.
    static bool real(const rt::Id& v, double& out) {
        if (auto* n = rt::cast<Number>(v.get()); n && !n->isBool()) {
            out = n->doubleValue();
            return true;
        }
        auto* d = rt::cast<Dictionary>(v.get());
        return d && d->count() == 1 && nonFinite(d->objectForKey("$double").get(), out);
    }

    rt::Id tagged(const std::string& tag, const rt::Id& v, int depth) {
        if (tag == "$dict") {
            auto* d = rt::cast<Dictionary>(v.get());
            if (!d) return fail("$dict needs an object");
            return dictionary(*d, v, depth + 1);
        }
        if (tag == "$data") {
            auto* s = rt::cast<String>(v.get());
            auto data = s ? Data::withBase64EncodedString(s->utf8()) : nullptr;
            if (!data) return fail("$data needs a base64 string");
            return data;
        }
        if (tag == "$date") {
            double t;
            if (!real(v, t)) return fail("$date needs a number");
            return Date::withTimeIntervalSinceReferenceDate(t);
        }
        if (tag == "$double") {
            double d;
            if (!nonFinite(v.get(), d)) return fail("bad $double");
            return Number::withDouble(d);
        }
        if (tag == "$utf16") {
            auto* a = rt::cast<Array>(v.get());
            if (!a) return fail("$utf16 needs an array");
            std::u16string units;
            units.reserve(a->count());
            for (const rt::Id& item : *a) {
                auto* n = rt::cast<Number>(item.get());
                if (!n || n->isBool() || n->isFloatingPoint() || n->longLongValue() < 0 ||
                    n->longLongValue() > 0xFFFF)
                    return fail("$utf16 needs UTF-16 units");
                units.push_back(static_cast<char16_t>(n->longLongValue()));
            }
            return String::fromUTF16(units);
        }
        return fail("unknown tag " + tag);
    }

    std::string problem_;
};

} // namespace

std::string encodePropertyListJSON(const rt::Object& value, std::string* error) {
    TaggedJSONWriter w;
    if (!w.write(value, 0)) {
        if (error) *error = w.problem();
        return {};
    }
    w.out() += '\n';
    return std::move(w.out());
}

rt::Id decodePropertyListJSON(std::string_view text, std::string* error) {
    rt::Ref<Error> jsonError;
    rt::Id json =
        JSONSerialization::JSONObjectWithData(text, JSONReadingOptions::FragmentsAllowed, &jsonError);
    if (!json) {
        if (error) {
            auto why = jsonError
                           ? rt::cast<String>(jsonError->userInfo()->objectForKey(DebugDescriptionErrorKey))
                           : nullptr;
            *error = why ? why->utf8() : "not JSON";
        }
        return nullptr;
    }
    Untagger untagger;
    rt::Id v = untagger.value(json, 0);
    if (!v && error) *error = untagger.problem();
    return v;
}

} // namespace ns::detail
