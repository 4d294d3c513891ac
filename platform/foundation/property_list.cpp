#include "platform/foundation/property_list.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <expat.h>

#include "platform/foundation/array.h"
#include "platform/foundation/calendar.h"
#include "platform/foundation/date.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"
#include "platform/foundation/text_escaping.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"

namespace ns {

RT_DEFINE_CLASS(PropertyListSerialization, "NSPropertyListSerialization", rt::Object)

namespace {

using detail::civilFromDays;
using detail::daysFromCivil;

constexpr std::size_t kMaxXMLDepth = 1024;

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// ---- Dates: "2001-01-01T00:00:00Z", UTC, whole seconds --------------------------------------

std::string formatDate(TimeInterval sinceReference) {
    const double unix = std::floor(sinceReference + TimeIntervalSince1970);
    // Far beyond any calendar anyone writes; clamped so that the arithmetic stays defined.
    const long long secs = static_cast<long long>(std::clamp(unix, -1e15, 1e15));
    long long days = secs / 86400, rem = secs % 86400;
    if (rem < 0) {
        rem += 86400;
        --days;
    }
    long long y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ", y, m, d, rem / 3600,
                  rem / 60 % 60, rem % 60);
    return buf;
}

bool parseDate(std::string_view s, TimeInterval& out) {
    s = trim(s);
    // YYYY-MM-DDTHH:MM:SSZ
    if (s.size() != 20 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':' ||
        s[19] != 'Z')
        return false;
    auto field = [&](std::size_t at, std::size_t n, unsigned& v) {
        const char* first = s.data() + at;
        auto r = std::from_chars(first, first + n, v);
        return r.ec == std::errc() && r.ptr == first + n;
    };
    unsigned y, mo, d, h, mi, sec;
    if (!field(0, 4, y) || !field(5, 2, mo) || !field(8, 2, d) || !field(11, 2, h) || !field(14, 2, mi) ||
        !field(17, 2, sec))
        return false;
    static constexpr unsigned kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] || (mo == 2 && d == 29 && !leap) || h > 23 ||
        mi > 59 || sec > 59)
        return false;
    const long long days = daysFromCivil(y, mo, d);
    out = static_cast<double>(days * 86400 + h * 3600 + mi * 60 + sec) - TimeIntervalSince1970;
    return true;
}

// ---- Reading ---------------------------------------------------------------------------------

enum class Tag { Plist, Dict, Array, Key, String, Integer, Real, True, False, Date, Data };

bool tagNamed(std::string_view name, Tag& tag) {
    static constexpr std::pair<std::string_view, Tag> kTags[] = {
        {"plist", Tag::Plist},   {"dict", Tag::Dict},       {"array", Tag::Array}, {"key", Tag::Key},
        {"string", Tag::String}, {"integer", Tag::Integer}, {"real", Tag::Real},   {"true", Tag::True},
        {"false", Tag::False},   {"date", Tag::Date},       {"data", Tag::Data},
    };
    for (auto& [n, t] : kTags) {
        if (n == name) {
            tag = t;
            return true;
        }
    }
    return false;
}

bool isContainer(Tag t) {
    return t == Tag::Plist || t == Tag::Dict || t == Tag::Array;
}

bool parseInteger(std::string_view s, rt::Id& out) {
    s = trim(s);
    bool negative = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    std::uint64_t magnitude;
    auto r = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
    if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) return false;
    constexpr std::uint64_t kMaxSigned = static_cast<std::uint64_t>(std::numeric_limits<long long>::max());
    if (negative) {
        if (magnitude > kMaxSigned + 1) return false;
        out = Number::withLongLong(magnitude == kMaxSigned + 1 ? std::numeric_limits<long long>::min()
                                                               : -static_cast<long long>(magnitude));
    } else if (magnitude > kMaxSigned) {
        out = Number::withUnsignedLongLong(magnitude);
    } else {
        out = Number::withLongLong(static_cast<long long>(magnitude));
    }
    return true;
}

bool parseReal(std::string_view s, rt::Id& out) {
    s = trim(s);
    std::string lower(s);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    if (lower == "nan") {
        out = Number::withDouble(std::numeric_limits<double>::quiet_NaN());
        return true;
    }
    if (lower == "inf" || lower == "+inf" || lower == "infinity" || lower == "+infinity" || lower == "-inf" ||
        lower == "-infinity") {
        const double inf = std::numeric_limits<double>::infinity();
        out = Number::withDouble(lower[0] == '-' ? -inf : inf);
        return true;
    }
    if (!s.empty() && s[0] == '+') s.remove_prefix(1);
    double d;
    auto r = std::from_chars(s.data(), s.data() + s.size(), d);
    if (s.empty() || r.ptr != s.data() + s.size()) return false;
    if (r.ec == std::errc::result_out_of_range) return false;
    out = Number::withDouble(d);
    return true;
}

class XMLReader {
public:
    explicit XMLReader(PropertyListMutabilityOptions options)
        : mutableContainers_(options != PropertyListMutabilityOptions::Immutable),
          mutableLeaves_(options == PropertyListMutabilityOptions::MutableContainersAndLeaves) {}

    // The object read, or nil with problem() set.
    rt::Id read(std::string_view xml) {
        XML_Parser p = XML_ParserCreate(nullptr);
        if (!p) {
            problem_ = "Unable to create an XML parser";
            return nullptr;
        }
        parser_ = p;
        XML_SetUserData(p, this);
        XML_SetElementHandler(p, &XMLReader::onStart, &XMLReader::onEnd);
        XML_SetCharacterDataHandler(p, &XMLReader::onText);
        XML_SetEntityDeclHandler(p, &XMLReader::onEntityDecl);
        bool ok = true;
        // XML_Parse takes an int length: feed large documents in pieces.
        constexpr std::size_t kChunk = std::size_t{1} << 30;
        do {
            const std::size_t n = std::min(xml.size(), kChunk);
            const bool last = n == xml.size();
            ok = XML_Parse(p, xml.data(), static_cast<int>(n), last) == XML_STATUS_OK;
            xml.remove_prefix(n);
        } while (ok && !xml.empty());
        if (!ok && problem_.empty()) {
            problem_ = "Malformed XML (" + std::string(XML_ErrorString(XML_GetErrorCode(p))) + ") " + where();
        }
        XML_ParserFree(p);
        parser_ = nullptr;
        stack_.clear();
        if (!problem_.empty()) return nullptr;
        if (!root_) problem_ = "No property list object found";
        return std::move(root_);
    }

    const std::string& problem() const { return problem_; }

private:
    struct Frame {
        Tag tag;
        std::string name;
        std::string text;
        std::vector<rt::Id> items;
        std::vector<rt::Id> keys;
        rt::Id pendingKey; // a <key> read, its value not yet
    };

    // Expat is C: nothing may unwind through it.
    template <class F> static void guarded(void* self, F&& f) {
        auto* r = static_cast<XMLReader*>(self);
        try {
            f(*r);
        } catch (...) {
            r->fail("Out of memory");
        }
    }
    static void onStart(void* self, const XML_Char* name, const XML_Char**) {
        guarded(self, [name](XMLReader& r) { r.start(name); });
    }
    static void onEnd(void* self, const XML_Char*) {
        guarded(self, [](XMLReader& r) { r.end(); });
    }
    static void onText(void* self, const XML_Char* s, int len) {
        guarded(self, [s, len](XMLReader& r) { r.text(std::string_view(s, static_cast<std::size_t>(len))); });
    }
    static void onEntityDecl(void* self, const XML_Char* name, int, const XML_Char*, int, const XML_Char*,
                             const XML_Char*, const XML_Char*, const XML_Char*) {
        guarded(self, [name](XMLReader& r) {
            r.fail(std::string("Entity declarations are not allowed (") + name + ")");
        });
    }

    std::string where() const {
        return "at line " + std::to_string(XML_GetCurrentLineNumber(parser_)) + ", column " +
               std::to_string(XML_GetCurrentColumnNumber(parser_) + 1);
    }

    void fail(const std::string& what) noexcept {
        if (!problem_.empty()) return;
        try {
            problem_ = what + " " + where();
        } catch (...) {
            problem_ = "Out of memory";
        }
        XML_StopParser(parser_, XML_FALSE);
    }

    void start(std::string_view name) {
        if (!problem_.empty()) return;
        Tag tag;
        if (!tagNamed(name, tag)) return fail("Encountered unknown tag <" + std::string(name) + ">");
        if (stack_.size() >= kMaxXMLDepth) return fail("Too many nested arrays or dictionaries");
        if (!stack_.empty()) {
            Frame& parent = stack_.back();
            const std::string where = "<" + std::string(name) + "> inside <" + parent.name + ">";
            if (!isContainer(parent.tag)) return fail("Encountered " + where);
            if (tag == Tag::Plist) return fail("Encountered " + where + ": <plist> may only be the root");
            if (parent.tag == Tag::Plist && !parent.items.empty())
                return fail("Encountered " + where + ": a plist holds one object");
            if (parent.tag == Tag::Dict) {
                if (tag == Tag::Key && parent.pendingKey)
                    return fail("Found <key> where the value of key \"" + parent.pendingKey->description() +
                                "\" was expected");
                if (tag != Tag::Key && !parent.pendingKey)
                    return fail("Found " + where + " where a <key> was expected");
            } else if (tag == Tag::Key) {
                return fail("Encountered " + where + ": keys belong in a <dict>");
            }
        } else if (tag == Tag::Key) {
            return fail("Encountered <key> outside a <dict>");
        }
        stack_.push_back(Frame{tag, std::string(name), {}, {}, {}, {}});
    }

    void text(std::string_view s) {
        if (!problem_.empty() || stack_.empty()) return;
        Frame& f = stack_.back();
        if (isContainer(f.tag) || f.tag == Tag::True || f.tag == Tag::False) {
            if (!trim(s).empty()) fail("Encountered unexpected text inside <" + f.name + ">");
            return;
        }
        f.text.append(s);
    }

    void end() {
        if (!problem_.empty()) return;
        Frame f = std::move(stack_.back());
        stack_.pop_back();
        rt::Id value;
        switch (f.tag) {
        case Tag::Plist:
            if (f.items.empty()) return fail("Found an empty <plist>");
            value = std::move(f.items.front());
            break;
        case Tag::Key:
            stack_.back().pendingKey = String::make(f.text);
            return;
        case Tag::String:
            value = String::make(f.text);
            break;
        case Tag::Integer:
            if (!parseInteger(f.text, value)) return fail("Invalid <integer> \"" + f.text + "\"");
            break;
        case Tag::Real:
            if (!parseReal(f.text, value)) return fail("Invalid <real> \"" + f.text + "\"");
            break;
        case Tag::True:
            value = Number::withBool(true);
            break;
        case Tag::False:
            value = Number::withBool(false);
            break;
        case Tag::Date: {
            TimeInterval t;
            if (!parseDate(f.text, t)) return fail("Invalid <date> \"" + f.text + "\"");
            value = Date::withTimeIntervalSinceReferenceDate(t);
            break;
        }
        case Tag::Data: {
            rt::Ref<Data> data = Data::withBase64EncodedString(f.text);
            if (!data) return fail("Invalid base64 in <data>");
            if (mutableLeaves_)
                value = MutableData::make(data->view());
            else
                value = data;
            break;
        }
        case Tag::Array:
            if (mutableContainers_)
                value = MutableArray::make(std::move(f.items));
            else
                value = Array::make(std::move(f.items));
            break;
        case Tag::Dict:
            if (f.pendingKey) return fail("Missing the value of key \"" + f.pendingKey->description() + "\"");
            if (mutableContainers_) {
                auto d = MutableDictionary::withCapacity(f.keys.size());
                for (std::size_t i = 0; i < f.keys.size(); ++i)
                    d->setObjectForKey(f.items[i], f.keys[i]);
                value = std::move(d);
            } else {
                value = Dictionary::withObjectsForKeys(f.items, f.keys);
            }
            break;
        }
        if (stack_.empty()) {
            root_ = std::move(value);
            return;
        }
        Frame& parent = stack_.back();
        if (parent.tag == Tag::Dict) parent.keys.push_back(std::move(parent.pendingKey));
        parent.items.push_back(std::move(value));
    }

    bool mutableContainers_, mutableLeaves_;
    XML_Parser parser_ = nullptr;
    std::vector<Frame> stack_;
    rt::Id root_;
    std::string problem_;
};

// ---- Writing ---------------------------------------------------------------------------------

constexpr const char* kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                                "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                "<plist version=\"1.0\">\n";

class XMLWriter : public detail::TextWriter {
public:
    bool write(const rt::Object* obj, std::size_t depth) {
        if (depth >= kMaxXMLDepth)
            return fail("Too many nested arrays or dictionaries (or a collection contains itself)");
        if (auto* s = dynamic_cast<const String*>(obj)) return element("string", s->utf8(), depth);
        if (auto* n = dynamic_cast<const Number*>(obj)) return number(*n, depth);
        if (auto* d = dynamic_cast<const Dictionary*>(obj)) return dictionary(*d, depth);
        if (auto* a = dynamic_cast<const Array*>(obj)) return array(*a, depth);
        if (auto* d = dynamic_cast<const Date*>(obj))
            return element("date", formatDate(d->timeIntervalSinceReferenceDate()), depth);
        if (auto* d = dynamic_cast<const Data*>(obj)) return data(*d, depth);
        if (!obj) return fail("Property list invalid for format: nil is not a property list object");
        return fail("Property list invalid for format: property lists cannot contain objects of type '" +
                    std::string(obj->getClass().name()) + "'");
    }

private:
    void indent(std::size_t depth) { out_.append(depth, '\t'); }

    bool element(const char* tag, std::string_view text, std::size_t depth) {
        indent(depth);
        out_ += '<';
        out_ += tag;
        out_ += '>';
        if (!escaped(text)) return false;
        out_ += "</";
        out_ += tag;
        out_ += ">\n";
        return true;
    }

    // As XML character data; characters XML 1.0 cannot carry at all are refused.
    bool escaped(std::string_view s) {
        std::size_t bad = detail::appendEscaped(out_, s, detail::EscapeTable::xml());
        char32_t code = bad == std::string_view::npos ? 0 : static_cast<unsigned char>(s[bad]);
        if (!code) {
            // U+FFFE and U+FFFF are no characters in XML either.
            for (std::string_view nonCharacter : {"\xEF\xBF\xBE", "\xEF\xBF\xBF"})
                if (s.find(nonCharacter) != std::string_view::npos)
                    code = nonCharacter.back() == '\xBE' ? 0xFFFE : 0xFFFF;
        }
        if (!code) return true;
        char text[16];
        std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(code));
        return fail(std::string("Property list invalid for format: a string holds ") + text +
                    ", which XML cannot carry");
    }

    bool number(const Number& n, std::size_t depth) {
        using K = Number::Kind;
        switch (n.kind()) {
        case K::Bool:
            indent(depth);
            out_ += n.boolValue() ? "<true/>\n" : "<false/>\n";
            return true;
        case K::Float:
        case K::Double: {
            const double d = n.doubleValue();
            if (std::isnan(d)) return element("real", "nan", depth);
            if (std::isinf(d)) return element("real", d > 0 ? "+infinity" : "-infinity", depth);
            return element("real", n.description(), depth); // shortest round-trip text
        }
        default:
            return element("integer", n.description(), depth);
        }
    }

    bool data(const Data& d, std::size_t depth) {
        indent(depth);
        out_ += "<data>\n";
        // Lines of base64 narrow as the indentation (counted 8 columns a tab) grows.
        const std::size_t width = std::max<std::size_t>(16, depth * 8 < 60 ? (76 - depth * 8) / 4 * 4 : 16);
        const std::string text = d.base64EncodedString();
        for (std::size_t i = 0; i < text.size(); i += width) {
            indent(depth);
            out_.append(text, i, width);
            out_ += '\n';
        }
        indent(depth);
        out_ += "</data>\n";
        return true;
    }

    bool array(const Array& a, std::size_t depth) {
        indent(depth);
        if (a.isEmpty()) {
            out_ += "<array/>\n";
            return true;
        }
        out_ += "<array>\n";
        for (const rt::Id& item : a) {
            if (!write(item.get(), depth + 1)) return false;
        }
        indent(depth);
        out_ += "</array>\n";
        return true;
    }

    bool dictionary(const Dictionary& d, std::size_t depth) {
        indent(depth);
        if (d.isEmpty()) {
            out_ += "<dict/>\n";
            return true;
        }
        std::vector<std::pair<const String*, const rt::Object*>> entries;
        entries.reserve(d.count());
        for (auto [key, value] : d) {
            auto* k = dynamic_cast<const String*>(key.get());
            if (!k) {
                return fail("Property list invalid for format: dictionary keys must be strings, not '" +
                            std::string(key->getClass().name()) + "'");
            }
            entries.emplace_back(k, value.get());
        }
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.first->compare(*b.first) < 0; });
        out_ += "<dict>\n";
        for (auto [key, value] : entries) {
            if (!element("key", key->utf8(), depth + 1) || !write(value, depth + 1)) return false;
        }
        indent(depth);
        out_ += "</dict>\n";
        return true;
    }

};

std::string unsupported(PropertyListFormat format) {
    return format == PropertyListFormat::Binary
               ? "Binary property lists are not supported"
               : "Old-style text (OpenStep) property lists are not supported";
}

} // namespace

rt::Id PropertyListSerialization::propertyListWithData(const rt::Ref<Data>& data, MutabilityOptions options,
                                                       Format* format, rt::Ref<Error>* error) {
    if (!data) {
        serializationReadError(error, "No data: the data argument is nil.");
        return nullptr;
    }
    try {
        const std::string_view bytes = data->view();
        if (bytes.starts_with("bplist")) {
            serializationReadError(error, unsupported(Format::Binary) + ".");
            return nullptr;
        }
        // XML starts with '<' once a byte order mark and white space are skipped; UTF-16 text is
        // left for the XML parser to decode.
        std::string_view start = bytes;
        if (start.starts_with("\xEF\xBB\xBF")) start.remove_prefix(3);
        start = trim(start);
        const bool utf16 = bytes.starts_with("\xFE\xFF") || bytes.starts_with("\xFF\xFE");
        if (!utf16 && !start.starts_with("<")) {
            serializationReadError(error, start.empty()
                                              ? "No property list: the data is empty or only white space."
                                              : unsupported(Format::OpenStep) + ".");
            return nullptr;
        }
        XMLReader reader(options);
        rt::Id obj = reader.read(bytes);
        if (!obj) {
            serializationReadError(error, reader.problem() + ".");
            return nullptr;
        }
        if (format) *format = Format::XML;
        return obj;
    } catch (const std::exception& e) { // allocation failure
        serializationReadError(error, std::string("Unable to read the property list: ") + e.what() + ".");
    } catch (...) {
        serializationReadError(error, "Unable to read the property list.");
    }
    return nullptr;
}

rt::Ref<Data> PropertyListSerialization::dataWithPropertyList(const rt::Id& obj, Format format,
                                                              rt::Ref<Error>* error) {
    if (format != Format::XML) {
        serializationWriteError(error, unsupported(format) + " for writing");
        return nullptr;
    }
    try {
        XMLWriter w;
        w.out() = kHeader;
        if (!w.write(obj.get(), 0)) {
            serializationWriteError(error, w.problem());
            return nullptr;
        }
        w.out() += "</plist>\n";
        return Data::make(w.out());
    } catch (const std::exception& e) {
        serializationWriteError(error, std::string("Unable to write the property list: ") + e.what());
    } catch (...) {
        serializationWriteError(error, "Unable to write the property list");
    }
    return nullptr;
}

bool PropertyListSerialization::propertyListIsValidForFormat(const rt::Id& obj, Format format) {
    if (format == Format::OpenStep) return false;
    try {
        return XMLWriter().write(obj.get(), 0);
    } catch (...) {
        return false;
    }
}

} // namespace ns
