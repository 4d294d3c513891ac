#include "platform/foundation/coder.h"

#include <cstring>
#include <unordered_map>
#include <vector>

#include "platform/foundation/array.h"
#include "platform/foundation/date.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/exception.h"
#include "platform/foundation/null.h"
#include "platform/foundation/set.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/runtime/value.h"

// The archive, all integers little-endian:
//
//   header   "FTKA", u16 version, u16 flags (0)
//   classes  u32 count, then each name as a string
//   objects  u32 count, u32 root reference, then per object:
//            u32 class index, u32 payload length, payload
//
// A string is a u32 length and its bytes. A reference is 0 for nil, else 1 + an object's index.
// Payloads by class:
//   NSNumber               u8 kind, 8 bytes (int64, uint64 or double bits, by kind)
//   NSString               u8 form: 0 then a UTF-8 string, or 1 then a string of UTF-16 units
//   NSData, NSMutableData  string
//   NSDate                 double bits
//   NSNull                 nothing
//   NSValue                type encoding string, bytes string
//   NSArray, NSSet (and mutable)       u32 count, references
//   NSDictionary, NSMutableDictionary  u32 count, (key reference, value reference) pairs
//   any other class        u32 field count, then per field: key string, u8 type, value
//                          (bool: u8; int64, double: 8 bytes; string: string; object: reference)

namespace ns {

namespace {

constexpr char kMagic[4] = {'F', 'T', 'K', 'A'};
constexpr std::uint16_t kVersion = 1;
constexpr const char* kCorruptDescription =
    "The data couldn\u2019t be read because it isn\u2019t in the correct format.";

enum class Builtin : std::uint8_t {
    None,
    Number,
    String,
    Data,
    MutableData,
    Date,
    Null,
    Value,
    Array,
    MutableArray,
    Dictionary,
    MutableDictionary,
    Set,
    MutableSet,
};

struct BuiltinName {
    Builtin kind;
    std::string_view name;
};

constexpr BuiltinName kBuiltins[] = {
    {Builtin::Number, "NSNumber"},
    {Builtin::String, "NSString"},
    {Builtin::Data, "NSData"},
    {Builtin::MutableData, "NSMutableData"},
    {Builtin::Date, "NSDate"},
    {Builtin::Null, "NSNull"},
    {Builtin::Value, "NSValue"},
    {Builtin::Array, "NSArray"},
    {Builtin::MutableArray, "NSMutableArray"},
    {Builtin::Dictionary, "NSDictionary"},
    {Builtin::MutableDictionary, "NSMutableDictionary"},
    {Builtin::Set, "NSSet"},
    {Builtin::MutableSet, "NSMutableSet"},
};

Builtin builtinNamed(std::string_view name) {
    for (const auto& b : kBuiltins)
        if (b.name == name) return b.kind;
    return Builtin::None;
}

std::string_view nameOf(Builtin kind) {
    for (const auto& b : kBuiltins)
        if (b.kind == kind) return b.name;
    return {};
}

// The built-in class an object is archived as; None for everything else.
Builtin builtinOf(const rt::Object& obj) {
    if (dynamic_cast<const ns::Number*>(&obj)) return Builtin::Number;
    if (dynamic_cast<const ns::Value*>(&obj)) return Builtin::Value;
    if (dynamic_cast<const ns::String*>(&obj)) return Builtin::String;
    if (dynamic_cast<const ns::MutableData*>(&obj)) return Builtin::MutableData;
    if (dynamic_cast<const ns::Data*>(&obj)) return Builtin::Data;
    if (dynamic_cast<const ns::Date*>(&obj)) return Builtin::Date;
    if (dynamic_cast<const ns::Null*>(&obj)) return Builtin::Null;
    if (dynamic_cast<const ns::MutableArray*>(&obj)) return Builtin::MutableArray;
    if (dynamic_cast<const ns::Array*>(&obj)) return Builtin::Array;
    if (dynamic_cast<const ns::MutableDictionary*>(&obj)) return Builtin::MutableDictionary;
    if (dynamic_cast<const ns::Dictionary*>(&obj)) return Builtin::Dictionary;
    if (dynamic_cast<const ns::MutableSet*>(&obj)) return Builtin::MutableSet;
    if (dynamic_cast<const ns::Set*>(&obj)) return Builtin::Set;
    return Builtin::None;
}

enum class FieldType : std::uint8_t { Bool = 1, Int64 = 2, Double = 3, String = 4, Object = 5 };

// ---- Bytes ----------------------------------------------------------------------------------

class Writer {
public:
    void u8(std::uint8_t v) { out_ += static_cast<char>(v); }
    void u16(std::uint16_t v) { le(v, 2); }
    void u32(std::uint32_t v) { le(v, 4); }
    void u64(std::uint64_t v) { le(v, 8); }
    void f64(double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        u64(bits);
    }
    // Lengths must fit 32 bits; the caller checks with fits().
    void string(std::string_view s) {
        u32(static_cast<std::uint32_t>(s.size()));
        out_ += s;
    }
    void raw(std::string_view s) { out_ += s; }
    std::string& out() { return out_; }

private:
    void le(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i)
            out_ += static_cast<char>((v >> (8 * i)) & 0xff);
    }
    std::string out_;
};

bool fits(std::size_t n) {
    return n <= 0xffffffffu;
}

// Reads within a span of bytes. A read past the end fails the reader and yields zeros or an
// empty span, so callers check ok() once after a group of reads.
class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool ok() const noexcept { return ok_; }
    bool atEnd() const noexcept { return pos_ == bytes_.size(); }
    std::size_t remaining() const noexcept { return bytes_.size() - pos_; }

    std::uint8_t u8() { return static_cast<std::uint8_t>(le(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(le(2)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(le(4)); }
    std::uint64_t u64() { return le(8); }
    double f64() {
        std::uint64_t bits = u64();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    std::string_view bytes(std::size_t n) {
        if (!ok_ || n > remaining()) {
            ok_ = false;
            return {};
        }
        std::string_view s = bytes_.substr(pos_, n);
        pos_ += n;
        return s;
    }
    std::string_view string() { return bytes(u32()); }

private:
    std::uint64_t le(std::size_t n) {
        std::string_view s = bytes(n);
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < s.size(); ++i)
            v |= std::uint64_t(static_cast<std::uint8_t>(s[i])) << (8 * i);
        return v;
    }

    std::string_view bytes_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

// ---- Archiving ------------------------------------------------------------------------------

class Encoder final : public Coder {
public:
    rt::Ref<Data> run(const rt::Id& root) {
        std::uint32_t rootRef = reference(root);
        if (failed()) return nullptr;
        Writer w;
        w.raw(std::string_view(kMagic, sizeof kMagic));
        w.u16(kVersion);
        w.u16(0);
        w.u32(static_cast<std::uint32_t>(classes_.size()));
        for (const auto& name : classes_)
            w.string(name);
        w.u32(static_cast<std::uint32_t>(records_.size()));
        w.u32(rootRef);
        for (const Record& r : records_) {
            if (!fits(r.payload.size())) {
                fail("an object is too large to archive");
                return nullptr;
            }
            w.u32(r.classIndex);
            w.string(r.payload);
        }
        return Data::make(w.out());
    }

    void encodeObject(const rt::Id& obj, std::string_view key) override {
        std::uint32_t ref = reference(obj);
        if (Writer* w = field(key, FieldType::Object)) w->u32(ref);
    }
    void encodeBool(bool value, std::string_view key) override {
        if (Writer* w = field(key, FieldType::Bool)) w->u8(value ? 1 : 0);
    }
    void encodeInt64(std::int64_t value, std::string_view key) override {
        if (Writer* w = field(key, FieldType::Int64)) w->u64(static_cast<std::uint64_t>(value));
    }
    void encodeDouble(double value, std::string_view key) override {
        if (Writer* w = field(key, FieldType::Double)) w->f64(value);
    }
    void encodeString(std::string_view value, std::string_view key) override {
        if (!fits(value.size())) return fail("a string is too large to archive");
        if (Writer* w = field(key, FieldType::String)) w->string(value);
    }

    // An archiver is not read from.
    rt::Id decodeObject(std::string_view) override { return nullptr; }
    bool decodeBool(std::string_view) override { return false; }
    std::int64_t decodeInt64(std::string_view) override { return 0; }
    double decodeDouble(std::string_view) override { return 0; }
    bool containsValueForKey(std::string_view) const override { return false; }

    bool failed() const override { return error_ != nullptr; }
    rt::Ref<Error> error() const override { return error_; }
    void failWithError(rt::Ref<Error> error) override {
        if (failed()) return;
        if (!error) error = Error::make(CocoaErrorDomain, 4866); // NSCoderInvalidValueError
        ns::logLine("*** KeyedArchiver: archiving failed: " + error->description());
        error_ = std::move(error);
    }

private:
    struct Field {
        std::string key;
        Writer value; // type byte, then the value
    };
    struct Record {
        std::uint32_t classIndex = 0;
        std::string payload;
        bool inProgress = true;
        bool coding = false;
        std::vector<Field> fields;
    };

    void fail(const std::string& message) {
        if (failed()) return;
        ns::logLine("*** KeyedArchiver: " + message);
        error_ = Error::make(CocoaErrorDomain, 4866,
                             Dictionary::withPairs({{str(DebugDescriptionErrorKey), str(message)}}));
    }

    // The writer of a new field of the Coding object being encoded; null when there is none.
    Writer* field(std::string_view key, FieldType type) {
        if (failed() || stack_.empty()) return nullptr;
        Record& r = records_[stack_.back()];
        if (!r.coding) return nullptr;
        if (!fits(key.size())) {
            fail("a key is too large to archive");
            return nullptr;
        }
        for (auto it = r.fields.begin(); it != r.fields.end(); ++it) {
            if (it->key == key) {
                r.fields.erase(it);
                break;
            }
        }
        r.fields.push_back({std::string(key), {}});
        r.fields.back().value.u8(static_cast<std::uint8_t>(type));
        return &r.fields.back().value;
    }

    std::uint32_t classIndex(std::string_view name) {
        auto [it, added] =
            classIndexes_.try_emplace(std::string(name), static_cast<std::uint32_t>(classes_.size()));
        if (added) classes_.emplace_back(name);
        return it->second;
    }

    // Encodes the object the first time it is met; its reference.
    std::uint32_t reference(const rt::Id& obj) {
        if (!obj || failed()) return 0;
        if (auto it = ids_.find(obj.get()); it != ids_.end()) {
            if (records_[it->second].inProgress) {
                fail("cannot archive a cycle: " + std::string(obj->getClass().name()) +
                     " is reached again from inside itself");
                return 0;
            }
            return it->second + 1;
        }
        if (stack_.size() >= ArchiveMaxDepth) {
            fail("cannot archive objects nested more than " + std::to_string(ArchiveMaxDepth) + " deep");
            return 0;
        }
        if (records_.size() >= 0xfffffffeu) {
            fail("too many objects to archive");
            return 0;
        }
        auto index = static_cast<std::uint32_t>(records_.size());
        records_.emplace_back();
        // Held until the archive is written: a temporary released meanwhile could otherwise
        // free its address for another object.
        kept_.push_back(obj);
        ids_.emplace(obj.get(), index);
        stack_.push_back(index);
        encodeRecord(index, *obj);
        stack_.pop_back();
        records_[index].inProgress = false;
        return index + 1;
    }

    void encodeRecord(std::uint32_t index, const rt::Object& obj) {
        const Coding* coding = dynamic_cast<const Coding*>(&obj);
        Builtin kind = builtinOf(obj);
        // A class of its own that adopts Coding archives itself, even when it derives from a
        // built-in one.
        if (coding && builtinNamed(obj.getClass().name()) == Builtin::None) kind = Builtin::None;
        if (coding && !obj.getClass().conformsTo(codingProtocol())) coding = nullptr;
        if (kind == Builtin::None && !coding) {
            return fail("cannot archive an object of class " + std::string(obj.getClass().name()) +
                        ": it does not implement ns::Coding");
        }
        std::uint32_t cls = classIndex(kind == Builtin::None ? obj.getClass().name() : nameOf(kind));
        records_[index].classIndex = cls;
        Writer w;
        switch (kind) {
        case Builtin::None: {
            records_[index].coding = true;
            coding->encodeWithCoder(*this);
            Record& r = records_[index];
            w.u32(static_cast<std::uint32_t>(r.fields.size()));
            for (Field& f : r.fields) {
                w.string(f.key);
                w.raw(f.value.out());
            }
            r.fields.clear();
            break;
        }
        case Builtin::Number: {
            auto& n = static_cast<const Number&>(obj);
            w.u8(static_cast<std::uint8_t>(n.kind()));
            if (n.isFloatingPoint())
                w.f64(n.doubleValue());
            else if (n.kind() >= Number::Kind::UChar)
                w.u64(n.unsignedLongLongValue());
            else
                w.u64(static_cast<std::uint64_t>(n.longLongValue()));
            break;
        }
        case Builtin::String: {
            auto& s = static_cast<const String&>(obj);
            if (s.isASCII()) {
                if (!fits(s.utf8().size())) return fail("a string is too large to archive");
                w.u8(0);
                w.string(s.utf8());
            } else {
                // UTF-16 keeps every string exactly, lone surrogates included.
                std::u16string units = s.utf16();
                if (!fits(units.size() * 2)) return fail("a string is too large to archive");
                w.u8(1);
                w.u32(static_cast<std::uint32_t>(units.size() * 2));
                for (char16_t u : units)
                    w.u16(u);
            }
            break;
        }
        case Builtin::Data:
        case Builtin::MutableData: {
            auto& d = static_cast<const Data&>(obj);
            if (!fits(d.length())) return fail("data is too large to archive");
            w.string(d.view());
            break;
        }
        case Builtin::Date:
            w.f64(static_cast<const Date&>(obj).timeIntervalSinceReferenceDate());
            break;
        case Builtin::Null:
            break;
        case Builtin::Value: {
            auto& v = static_cast<const Value&>(obj);
            std::string bytes(v.size(), '\0');
            v.getValue(bytes.data(), bytes.size());
            if (!fits(v.objCType().size()) || !fits(bytes.size()))
                return fail("a value is too large to archive");
            w.string(v.objCType());
            w.string(bytes);
            break;
        }
        case Builtin::Array:
        case Builtin::MutableArray: {
            // A snapshot: encoding an element must not see the array change under it.
            std::vector<rt::Id> objects = static_cast<const Array&>(obj).objects();
            w.u32(static_cast<std::uint32_t>(objects.size()));
            for (const rt::Id& o : objects)
                w.u32(reference(o));
            break;
        }
        case Builtin::Set:
        case Builtin::MutableSet: {
            std::vector<rt::Id> objects = static_cast<const Set&>(obj).allObjects()->objects();
            w.u32(static_cast<std::uint32_t>(objects.size()));
            for (const rt::Id& o : objects)
                w.u32(reference(o));
            break;
        }
        case Builtin::Dictionary:
        case Builtin::MutableDictionary: {
            std::vector<std::pair<rt::Id, rt::Id>> pairs;
            for (auto [key, value] : static_cast<const Dictionary&>(obj))
                pairs.emplace_back(key, value);
            w.u32(static_cast<std::uint32_t>(pairs.size()));
            for (const auto& [key, value] : pairs) {
                w.u32(reference(key));
                w.u32(reference(value));
            }
            break;
        }
        }
        records_[index].payload = std::move(w.out());
    }

    std::vector<std::string> classes_;
    std::unordered_map<std::string, std::uint32_t> classIndexes_;
    std::vector<Record> records_;
    std::vector<rt::Id> kept_;
    std::unordered_map<const rt::Object*, std::uint32_t> ids_;
    std::vector<std::uint32_t> stack_;
    rt::Ref<Error> error_;
};

// ---- Unarchiving ----------------------------------------------------------------------------

class Decoder final : public Coder {
public:
    // `allowed` null: any class that adopts coding.
    Decoder(std::string_view bytes, const std::vector<const rt::Class*>* allowed)
        : bytes_(bytes), allowed_(allowed) {}

    rt::Id run() {
        Reader r(bytes_);
        std::string_view magic = r.bytes(sizeof kMagic);
        if (!r.ok() || magic != std::string_view(kMagic, sizeof kMagic))
            return corrupt("not a keyed archive");
        std::uint16_t version = r.u16();
        std::uint16_t flags = r.u16();
        if (!r.ok()) return corrupt("truncated header");
        if (version != kVersion || flags != 0)
            return corrupt("unsupported archive version " + std::to_string(version));

        std::uint32_t classCount = r.u32();
        if (!r.ok() || classCount > r.remaining() / 4) return corrupt("bad class count");
        classes_.reserve(classCount);
        for (std::uint32_t i = 0; i < classCount; ++i) {
            classes_.push_back(r.string());
            if (r.ok() && !isAllowed(classes_.back()))
                return corrupt("class " + std::string(classes_.back()) + " is not among the allowed classes");
        }

        std::uint32_t objectCount = r.u32();
        std::uint32_t root = r.u32();
        if (!r.ok() || objectCount > r.remaining() / 8) return corrupt("bad object count");
        records_.resize(objectCount);
        for (Record& rec : records_) {
            rec.classIndex = r.u32();
            rec.payload = r.string();
            if (r.ok() && rec.classIndex >= classes_.size()) return corrupt("bad class index");
        }
        if (!r.ok()) return corrupt("truncated object table");
        if (!r.atEnd()) return corrupt("trailing bytes after the object table");
        rt::Id result = object(root);
        if (failed()) return nullptr;
        return result;
    }

    // A note of what is wrong with the data; the decoding fails.
    rt::Id corrupt(const std::string& detail) {
        if (!failed()) {
            error_ =
                Error::make(CocoaErrorDomain, CoderReadCorruptError,
                            Dictionary::withPairs({{str(LocalizedDescriptionKey), str(kCorruptDescription)},
                                                   {str(DebugDescriptionErrorKey), str(detail)}}));
        }
        return nullptr;
    }

    // An unarchiver is not written to.
    void encodeObject(const rt::Id&, std::string_view) override {}
    void encodeBool(bool, std::string_view) override {}
    void encodeInt64(std::int64_t, std::string_view) override {}
    void encodeDouble(double, std::string_view) override {}
    void encodeString(std::string_view, std::string_view) override {}

    rt::Id decodeObject(std::string_view key) override {
        const Field* f = field(key);
        if (!f) return nullptr;
        if (f->type == FieldType::Object) return object(scalar(*f));
        if (f->type == FieldType::String) return String::make(f->value);
        return nullptr;
    }
    bool decodeBool(std::string_view key) override {
        const Field* f = field(key);
        if (!f) return false;
        if (f->type == FieldType::Double) return doubleOf(*f) != 0;
        return isScalar(*f) && scalar(*f) != 0;
    }
    std::int64_t decodeInt64(std::string_view key) override {
        const Field* f = field(key);
        if (!f) return 0;
        if (f->type == FieldType::Double) {
            double d = doubleOf(*f);
            if (!(d == d)) return 0;
            if (d >= 9.2233720368547758e18) return INT64_MAX;
            if (d <= -9.2233720368547758e18) return INT64_MIN;
            return static_cast<std::int64_t>(d);
        }
        return isScalar(*f) ? static_cast<std::int64_t>(scalar(*f)) : 0;
    }
    double decodeDouble(std::string_view key) override {
        const Field* f = field(key);
        if (!f) return 0;
        if (f->type == FieldType::Double) return doubleOf(*f);
        if (f->type == FieldType::Int64) return static_cast<double>(static_cast<std::int64_t>(scalar(*f)));
        return f->type == FieldType::Bool ? static_cast<double>(scalar(*f)) : 0;
    }
    bool containsValueForKey(std::string_view key) const override { return field(key) != nullptr; }

    bool failed() const override { return error_ != nullptr; }
    rt::Ref<Error> error() const override { return error_; }
    void failWithError(rt::Ref<Error> error) override {
        if (failed()) return;
        error_ = error ? std::move(error) : Error::make(CocoaErrorDomain, CoderReadCorruptError);
    }

private:
    enum class State : std::uint8_t { New, Decoding, Done };
    struct Record {
        std::uint32_t classIndex = 0;
        std::string_view payload;
        State state = State::New;
        rt::Id value;
    };
    struct Field {
        std::string_view key;
        FieldType type;
        std::string_view value;
    };
    using Fields = std::vector<Field>;

    // The field of the Coding object being decoded; the last one when a key repeats.
    const Field* field(std::string_view key) const {
        if (failed() || frames_.empty()) return nullptr;
        const Fields& fields = *frames_.back();
        for (auto it = fields.rbegin(); it != fields.rend(); ++it)
            if (it->key == key) return &*it;
        return nullptr;
    }
    static bool isScalar(const Field& f) {
        return f.type == FieldType::Bool || f.type == FieldType::Int64 || f.type == FieldType::Object;
    }
    static std::uint64_t scalar(const Field& f) {
        Reader r(f.value);
        return f.type == FieldType::Bool ? r.u8() : f.type == FieldType::Object ? r.u32() : r.u64();
    }
    static double doubleOf(const Field& f) { return Reader(f.value).f64(); }

    // The object of a reference, decoded on first use.
    rt::Id object(std::uint32_t ref) {
        if (ref == 0 || failed()) return nullptr;
        if (ref > records_.size()) return corrupt("reference out of range");
        Record& rec = records_[ref - 1];
        if (rec.state == State::Done) return rec.value;
        if (rec.state == State::Decoding) return corrupt("a cycle of references");
        if (depth_ >= ArchiveMaxDepth) return corrupt("objects nested too deep");
        rec.state = State::Decoding;
        ++depth_;
        rt::Id value = decode(classes_[rec.classIndex], rec.payload);
        --depth_;
        if (failed()) return nullptr;
        // The vector does not grow while decoding, so `rec` is still valid.
        rec.state = State::Done;
        rec.value = value;
        return value;
    }

    // Decodes `count` references; false (and the decoding failed) on nil or a failure.
    bool references(Reader& r, std::uint32_t count, std::vector<rt::Id>& out) {
        out.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint32_t ref = r.u32();
            if (!r.ok()) return corrupt("truncated collection"), false;
            rt::Id obj = object(ref);
            if (failed()) return false;
            if (!obj) return corrupt("nil in a collection"), false;
            out.push_back(std::move(obj));
        }
        return true;
    }

    rt::Id decode(std::string_view className, std::string_view payload) {
        Builtin kind = builtinNamed(className);
        if (kind == Builtin::None) return decodeCoding(className, payload);
        Reader r(payload);
        rt::Id result;
        switch (kind) {
        case Builtin::None:
            break;
        case Builtin::Number: {
            std::uint8_t numberKind = r.u8();
            result = number(numberKind, r.u64());
            break;
        }
        case Builtin::String: {
            std::uint8_t form = r.u8();
            std::string_view text = r.string();
            if (!r.ok()) break;
            if (form == 0) {
                result = String::make(text);
            } else if (form == 1 && text.size() % 2 == 0) {
                std::u16string units(text.size() / 2, u'\0');
                Reader ur(text);
                for (char16_t& u : units)
                    u = ur.u16();
                result = String::fromUTF16(units);
            }
            break;
        }
        case Builtin::Data:
            result = Data::make(r.string());
            break;
        case Builtin::MutableData:
            result = MutableData::make(r.string());
            break;
        case Builtin::Date:
            result = Date::withTimeIntervalSinceReferenceDate(r.f64());
            break;
        case Builtin::Null:
            result = Null::null();
            break;
        case Builtin::Value: {
            std::string_view type = r.string();
            std::string_view bytes = r.string();
            result = Value::withBytes(bytes.data(), bytes.size(), type);
            break;
        }
        case Builtin::Array:
        case Builtin::MutableArray:
        case Builtin::Set:
        case Builtin::MutableSet: {
            std::uint32_t count = r.u32();
            if (!r.ok() || count > r.remaining() / 4) return corrupt("bad collection count");
            std::vector<rt::Id> objects;
            if (!references(r, count, objects)) return nullptr;
            if (kind == Builtin::Array)
                result = Array::make(std::move(objects));
            else if (kind == Builtin::MutableArray)
                result = MutableArray::make(std::move(objects));
            else if (kind == Builtin::Set)
                result = Set::make(objects);
            else
                result = MutableSet::make(objects);
            break;
        }
        case Builtin::Dictionary:
        case Builtin::MutableDictionary: {
            std::uint32_t count = r.u32();
            if (!r.ok() || count > r.remaining() / 8) return corrupt("bad dictionary count");
            std::vector<rt::Id> both;
            if (!references(r, count * 2, both)) return nullptr;
            std::vector<rt::Id> keys, values;
            keys.reserve(count);
            values.reserve(count);
            for (std::uint32_t i = 0; i < count; ++i) {
                keys.push_back(std::move(both[2 * i]));
                values.push_back(std::move(both[2 * i + 1]));
            }
            if (kind == Builtin::Dictionary) {
                result = Dictionary::withObjectsForKeys(values, keys);
            } else {
                auto d = MutableDictionary::withCapacity(count);
                for (std::uint32_t i = 0; i < count; ++i)
                    d->setObjectForKey(values[i], keys[i]);
                result = d;
            }
            break;
        }
        }
        if (failed()) return nullptr;
        if (!r.ok() || !r.atEnd() || !result) return corrupt("malformed " + std::string(className));
        return result;
    }

    static rt::Id number(std::uint8_t kind, std::uint64_t raw) {
        using K = Number::Kind;
        double d;
        std::memcpy(&d, &raw, sizeof d);
        auto i = static_cast<std::int64_t>(raw);
        switch (static_cast<K>(kind)) {
        case K::Bool:
            return Number::withBool(raw != 0);
        case K::Char:
            return Number::withChar(static_cast<char>(i));
        case K::Short:
            return Number::withShort(static_cast<short>(i));
        case K::Int:
            return Number::withInt(static_cast<int>(i));
        case K::Long:
            return Number::withLong(static_cast<long>(i));
        case K::LongLong:
            return Number::withLongLong(i);
        case K::UChar:
            return Number::withUnsignedChar(static_cast<unsigned char>(raw));
        case K::UShort:
            return Number::withUnsignedShort(static_cast<unsigned short>(raw));
        case K::UInt:
            return Number::withUnsignedInt(static_cast<unsigned>(raw));
        case K::ULong:
            return Number::withUnsignedLong(static_cast<unsigned long>(raw));
        case K::ULongLong:
            return Number::withUnsignedLongLong(raw);
        case K::Float:
            return Number::withFloat(static_cast<float>(d));
        case K::Double:
            return Number::withDouble(d);
        }
        return nullptr; // unknown kind: malformed
    }

    rt::Id decodeCoding(std::string_view className, std::string_view payload) {
        Fields fields;
        Reader r(payload);
        std::uint32_t count = r.u32();
        // Every field takes at least six bytes (key length, type, a bool).
        if (!r.ok() || count > r.remaining() / 6) return corrupt("bad field count");
        fields.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            Field f;
            f.key = r.string();
            f.type = static_cast<FieldType>(r.u8());
            switch (f.type) {
            case FieldType::Bool:
                f.value = r.bytes(1);
                break;
            case FieldType::Int64:
            case FieldType::Double:
                f.value = r.bytes(8);
                break;
            case FieldType::String:
                f.value = r.string();
                break;
            case FieldType::Object:
                f.value = r.bytes(4);
                break;
            default:
                return corrupt("unknown field type");
            }
            if (!r.ok()) return corrupt("truncated fields");
            fields.push_back(f);
        }
        if (!r.atEnd()) return corrupt("trailing bytes after the fields");

        const rt::Class* cls = rt::Class::named(className);
        if (!cls) return corrupt("no class named " + std::string(className));
        if (!cls->conformsTo(codingProtocol()))
            return corrupt("class " + std::string(className) + " does not adopt NSCoding");
        rt::Id instance = cls->alloc();
        auto* coding = dynamic_cast<Coding*>(instance.get());
        if (!coding)
            return corrupt("class " + std::string(className) +
                           " cannot be decoded: it does not implement ns::Coding");

        frames_.push_back(&fields);
        struct Pop {
            std::vector<const Fields*>& frames;
            ~Pop() { frames.pop_back(); }
        } pop{frames_};
        return coding->initWithCoder(*this);
    }

    // Built-in value classes always; others when no list was given, or when named in it (or a
    // subclass of one named).
    bool isAllowed(std::string_view className) const {
        if (!allowed_ || builtinNamed(className) != Builtin::None) return true;
        const rt::Class* cls = rt::Class::named(className);
        if (!cls) return false;
        for (const rt::Class* a : *allowed_)
            if (a && cls->isSubclassOf(*a)) return true;
        return false;
    }

    std::string_view bytes_;
    const std::vector<const rt::Class*>* allowed_;
    std::vector<std::string_view> classes_;
    std::vector<Record> records_;
    std::vector<const Fields*> frames_;
    unsigned depth_ = 0;
    rt::Ref<Error> error_;
};

} // namespace

std::string Coder::decodeString(std::string_view key) {
    rt::Id obj = decodeObject(key);
    auto* s = dynamic_cast<String*>(obj.get());
    return s ? s->utf8() : std::string();
}

rt::Ref<Data> KeyedArchiver::archivedDataWithRootObject(const rt::Id& root) {
    Encoder encoder;
    return encoder.run(root);
}

namespace {

rt::Id unarchive(const rt::Ref<Data>& data, const std::vector<const rt::Class*>* allowed,
                 rt::Ref<Error>* error) {
    if (error) *error = nullptr;
    rt::Ref<Data> held = data; // the bytes stay alive while objects are made from them
    Decoder decoder(held ? held->view() : std::string_view(), allowed);
    rt::Id result;
    if (!held)
        decoder.corrupt("no data");
    else {
        try {
            result = decoder.run();
        } catch (const Exception& e) {
            result = nullptr;
            decoder.corrupt(e.name() + ": " + e.reason());
        }
    }
    if (decoder.failed()) {
        if (error) *error = decoder.error();
        return nullptr;
    }
    return result;
}

} // namespace

rt::Id KeyedUnarchiver::unarchivedObjectOfClasses(const std::vector<const rt::Class*>& allowedClasses,
                                                  const rt::Ref<Data>& data, rt::Ref<Error>* error) {
    return unarchive(data, &allowedClasses, error);
}

rt::Id KeyedUnarchiver::unarchiveObjectWithData(const rt::Ref<Data>& data, rt::Ref<Error>* error) {
    return unarchive(data, nullptr, error);
}

const rt::Protocol& codingProtocol() {
    static const rt::Protocol protocol(
        "NSCoding", {{rt::Sel("encodeWithCoder:"), "v@:@", true}, {rt::Sel("initWithCoder:"), "@@:@", true}});
    return protocol;
}

rt::ClassMember adoptsCoding() {
    return rt::adopts(codingProtocol());
}

} // namespace ns
