#include "platform/foundation/attributed_string.h"

#include <algorithm>
#include <functional>

#include "platform/foundation/array.h"
#include "platform/foundation/coder.h"
#include "platform/foundation/exception.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"

namespace ns {

namespace {

const rt::Ref<Dictionary>& noAttributes() {
    static const rt::Ref<Dictionary> empty = rt::immortal(Dictionary::make());
    return empty;
}

rt::Ref<Dictionary> frozen(const rt::Ref<Dictionary>& attributes) {
    if (!attributes || attributes->count() == 0) return noAttributes();
    return rt::downcast<Dictionary>(attributes->copy());
}

} // namespace

// ---- AttributedString ----

AttributedString::AttributedString() : string_(String::empty()) {}

rt::Ref<AttributedString> AttributedString::make(rt::Ref<String> text, Attributes attributes) {
    auto out = rt::make<AttributedString>();
    if (text) out->string_ = std::move(text);
    if (out->length()) out->runs_.push_back({out->length(), frozen(attributes)});
    return out;
}

rt::Ref<AttributedString> AttributedString::withAttributedString(const AttributedString& other) {
    auto out = rt::make<AttributedString>();
    out->string_ = other.string_;
    out->runs_ = other.runs_;
    return out;
}

void AttributedString::checkRange(Range range, const char* method) const {
    if (range.location > length() || range.length > length() - range.location)
        raise(RangeException, std::string(method) + ": Range {" + std::to_string(range.location) + ", " +
                                  std::to_string(range.length) + "} out of bounds; string length " +
                                  std::to_string(length()));
}

void AttributedString::checkIndex(std::size_t index, const char* method) const {
    if (index >= length())
        raise(RangeException, std::string(method) + ": Index " + std::to_string(index) + " out of bounds; string length " +
                                  std::to_string(length()));
}

std::size_t AttributedString::runAt(std::size_t index) const {
    return std::upper_bound(runs_.begin(), runs_.end(), index, [](std::size_t i, const Run& r) { return i < r.end; }) -
           runs_.begin();
}

AttributedString::Attributes AttributedString::attributesAtIndex(std::size_t index, Range* effective) const {
    checkIndex(index, "attributesAtIndex:effectiveRange:");
    const std::size_t r = runAt(index);
    const std::size_t start = r ? runs_[r - 1].end : 0;
    if (effective) *effective = {start, runs_[r].end - start};
    return runs_[r].attributes;
}

rt::Id AttributedString::attributeAtIndex(std::string_view name, std::size_t index, Range* effective) const {
    checkIndex(index, "attribute:atIndex:effectiveRange:");
    const std::size_t r = runAt(index);
    rt::Id value = runs_[r].attributes->objectForKey(name);
    if (effective) {
        std::size_t first = r, last = r;
        while (first > 0 && rt::equal(runs_[first - 1].attributes->objectForKey(name).get(), value.get())) --first;
        while (last + 1 < runs_.size() && rt::equal(runs_[last + 1].attributes->objectForKey(name).get(), value.get())) ++last;
        const std::size_t start = first ? runs_[first - 1].end : 0;
        *effective = {start, runs_[last].end - start};
    }
    return value;
}

void AttributedString::enumerateAttributes(Range range, const AttributesBlock& block) const {
    checkRange(range, "enumerateAttributesInRange:options:usingBlock:");
    if (range.length == 0) return;
    bool stop = false;
    for (std::size_t r = runAt(range.location); r < runs_.size() && !stop; ++r) {
        const std::size_t start = std::max(range.location, r ? runs_[r - 1].end : 0);
        if (start >= range.max()) break;
        const std::size_t end = std::min(range.max(), runs_[r].end);
        block(runs_[r].attributes, {start, end - start}, stop);
    }
}

void AttributedString::enumerateAttribute(std::string_view name, Range range, const AttributeBlock& block) const {
    checkRange(range, "enumerateAttribute:inRange:options:usingBlock:");
    if (range.length == 0) return;
    rt::Id value;
    Range pending{range.location, 0};
    bool stop = false;
    enumerateAttributes(range, [&](const Attributes& attributes, Range r, bool& halt) {
        rt::Id v = attributes->objectForKey(name);
        if (pending.length && rt::equal(v.get(), value.get())) {
            pending.length += r.length;
            return;
        }
        if (pending.length) block(value, pending, stop);
        if (stop) {
            halt = true;
            return;
        }
        value = std::move(v);
        pending = r;
    });
    if (!stop && pending.length) block(value, pending, stop);
}

rt::Ref<AttributedString> AttributedString::attributedSubstringFromRange(Range range) const {
    checkRange(range, "attributedSubstringFromRange:");
    auto out = rt::make<AttributedString>();
    out->string_ = string_->substringWithRange(range);
    enumerateAttributes(range, [&](const Attributes& a, Range r, bool&) {
        out->runs_.push_back({r.max() - range.location, a});
    });
    return out;
}

bool AttributedString::isEqualToAttributedString(const AttributedString* other) const {
    if (!other) return false;
    if (other == this) return true;
    if (!string_->isEqual(other->string_.get()) || runs_.size() != other->runs_.size()) return false;
    for (std::size_t i = 0; i < runs_.size(); ++i)
        if (runs_[i].end != other->runs_[i].end || !rt::equal(runs_[i].attributes.get(), other->runs_[i].attributes.get()))
            return false;
    return true;
}

bool AttributedString::isEqual(const rt::Object* other) const {
    return isEqualToAttributedString(dynamic_cast<const AttributedString*>(other));
}

rt::Id AttributedString::copy() const {
    return rt::retained(this);
}

rt::Ref<MutableAttributedString> AttributedString::mutableCopy() const {
    auto out = MutableAttributedString::make();
    out->setAttributedString(*this);
    return out;
}

std::string AttributedString::description() const {
    std::string out;
    std::size_t start = 0;
    for (const Run& run : runs_) {
        out += string_->substringWithRange({start, run.end - start})->utf8() + run.attributes->description();
        start = run.end;
    }
    return out;
}

// ---- MutableAttributedString ----

rt::Ref<MutableAttributedString> MutableAttributedString::make(rt::Ref<String> text, Attributes attributes) {
    auto out = rt::make<MutableAttributedString>();
    if (text) out->string_ = std::move(text);
    if (out->length()) out->runs_.push_back({out->length(), frozen(attributes)});
    return out;
}

rt::Id MutableAttributedString::copy() const {
    return withAttributedString(*this);
}

void MutableAttributedString::coalesce() {
    std::vector<Run> out;
    for (Run& run : runs_) {
        if (!out.empty() && rt::equal(out.back().attributes.get(), run.attributes.get()))
            out.back().end = run.end;
        else if (out.empty() || run.end > out.back().end)
            out.push_back(std::move(run));
    }
    runs_ = std::move(out);
}

void MutableAttributedString::edit(Range range, const std::function<Attributes(const Attributes&)>& change) {
    if (range.length == 0) return;
    std::vector<Run> out;
    std::size_t start = 0;
    for (const Run& run : runs_) {
        const std::size_t lo = std::max(start, range.location), hi = std::min(run.end, range.max());
        if (lo >= hi) {
            out.push_back(run);
        } else {
            if (lo > start) out.push_back({lo, run.attributes});
            out.push_back({hi, frozen(change(run.attributes))});
            if (hi < run.end) out.push_back({run.end, run.attributes});
        }
        start = run.end;
    }
    runs_ = std::move(out);
    coalesce();
}

void MutableAttributedString::setAttributes(Attributes attributes, Range range) {
    checkRange(range, "setAttributes:range:");
    edit(range, [&](const Attributes&) { return attributes; });
}

void MutableAttributedString::addAttribute(std::string_view name, const rt::Id& value, Range range) {
    checkRange(range, "addAttribute:value:range:");
    if (!value) raise(InvalidArgumentException, "addAttribute:value:range: nil value");
    edit(range, [&](const Attributes& old) {
        auto changed = old->mutableCopy();
        changed->setObjectForKey(value, name);
        return Attributes(changed);
    });
}

void MutableAttributedString::addAttributes(const Dictionary& attributes, Range range) {
    checkRange(range, "addAttributes:range:");
    edit(range, [&](const Attributes& old) {
        auto changed = old->mutableCopy();
        changed->addEntriesFromDictionary(attributes);
        return Attributes(changed);
    });
}

void MutableAttributedString::removeAttribute(std::string_view name, Range range) {
    checkRange(range, "removeAttribute:range:");
    edit(range, [&](const Attributes& old) {
        if (!old->objectForKey(name)) return old;
        auto changed = old->mutableCopy();
        changed->removeObjectForKey(name);
        return Attributes(changed);
    });
}

void MutableAttributedString::splice(Range range, const String& text, std::vector<Run> inserted) {
    std::u16string units = string_->utf16();
    units.replace(range.location, range.length, text.utf16());
    std::vector<Run> out;
    std::size_t start = 0;
    for (const Run& run : runs_) {
        if (start < range.location) out.push_back({std::min(run.end, range.location), run.attributes});
        start = run.end;
    }
    for (Run& run : inserted) out.push_back({range.location + run.end, std::move(run.attributes)});
    start = 0;
    const std::size_t added = text.length();
    for (const Run& run : runs_) {
        if (run.end > range.max()) out.push_back({run.end - range.length + added, run.attributes});
        start = run.end;
    }
    string_ = String::fromUTF16(units);
    runs_ = std::move(out);
    coalesce();
}

void MutableAttributedString::replaceCharactersInRange(Range range, const String& text) {
    checkRange(range, "replaceCharactersInRange:withString:");
    Attributes attributes = noAttributes();
    if (range.length)
        attributes = attributesAtIndex(range.location);
    else if (range.location > 0)
        attributes = attributesAtIndex(range.location - 1);
    else if (length())
        attributes = attributesAtIndex(0);
    std::vector<Run> inserted;
    if (text.length()) inserted.push_back({text.length(), attributes});
    splice(range, text, std::move(inserted));
}

void MutableAttributedString::replaceCharactersInRange(Range range, const AttributedString& text) {
    checkRange(range, "replaceCharactersInRange:withAttributedString:");
    const std::vector<Run> inserted = text.runs(); // copied first: `text` may be this string
    const rt::Ref<String> units = text.string();
    splice(range, *units, inserted);
}

void MutableAttributedString::insertAttributedString(const AttributedString& text, std::size_t index) {
    if (index > length()) checkIndex(index, "insertAttributedString:atIndex:");
    replaceCharactersInRange(Range{index, 0}, text);
}

void MutableAttributedString::appendAttributedString(const AttributedString& text) {
    replaceCharactersInRange(Range{length(), 0}, text);
}

void MutableAttributedString::deleteCharactersInRange(Range range) {
    checkRange(range, "deleteCharactersInRange:");
    splice(range, *String::empty(), {});
}

void MutableAttributedString::setAttributedString(const AttributedString& text) {
    if (&text == this) return;
    string_ = text.string();
    runs_ = text.runs();
}

// ---- ParagraphStyle ----

const rt::Ref<ParagraphStyle>& ParagraphStyle::defaultStyle() {
    static const rt::Ref<ParagraphStyle> style = rt::immortal(rt::Ref<ParagraphStyle>(rt::make<ParagraphStyle>()));
    return style;
}

rt::Id ParagraphStyle::copy() const {
    return rt::retained(this);
}

rt::Ref<MutableParagraphStyle> ParagraphStyle::mutableCopy() const {
    auto out = MutableParagraphStyle::make();
    static_cast<ParagraphStyle&>(*out).s_ = s_;
    return out;
}

rt::Ref<ParagraphStyle> ParagraphStyle::frozenCopy() const {
    auto out = rt::make<ParagraphStyle>();
    out->s_ = s_;
    return out;
}

rt::Id MutableParagraphStyle::copy() const {
    return frozenCopy();
}

bool ParagraphStyle::isEqual(const rt::Object* other) const {
    auto* s = dynamic_cast<const ParagraphStyle*>(other);
    return s && s->s_ == s_;
}

std::size_t ParagraphStyle::hash() const {
    std::size_t h = std::hash<long>()(s_.alignment) * 31 + std::hash<long>()(long(s_.lineBreak));
    for (double v : {s_.lineSpacing, s_.minLineHeight, s_.maxLineHeight, s_.lineHeightMultiple, s_.firstLineHeadIndent})
        h = h * 31 + std::hash<double>()(v);
    return h;
}

RT_DEFINE_CLASS(AttributedString, "NSAttributedString", rt::Object, adoptsCoding())
RT_DEFINE_CLASS(MutableAttributedString, "NSMutableAttributedString", AttributedString)
RT_DEFINE_CLASS(ParagraphStyle, "NSParagraphStyle", rt::Object, adoptsCoding())

void AttributedString::encodeWithCoder(Coder& coder) const {
    auto ends = MutableArray::make(), attributes = MutableArray::make();
    for (const Run& run : runs_) {
        ends->addObject(ns::Number::withUnsignedLongLong(run.end));
        attributes->addObject(run.attributes ? run.attributes : Dictionary::make());
    }
    coder.encodeObject(string_, "NSString");
    coder.encodeObject(ends, "NSRunEnds");
    coder.encodeObject(attributes, "NSRunAttributes");
}

rt::Id AttributedString::initWithCoder(Coder& coder) {
    auto text = coder.decodeObjectOfClass<String>("NSString");
    auto ends = coder.decodeObjectOfClass<Array>("NSRunEnds");
    auto attributes = coder.decodeObjectOfClass<Array>("NSRunAttributes");
    if (!text || !ends || !attributes || ends->count() != attributes->count()) return nullptr;
    // The runs must cover the text, each ending after the one before.
    std::vector<Run> runs;
    std::size_t last = 0;
    for (std::size_t i = 0; i < ends->count(); ++i) {
        auto end = rt::cast<ns::Number>(ends->objectAtIndex(i));
        auto values = rt::cast<Dictionary>(attributes->objectAtIndex(i));
        if (!end || !values || end->unsignedLongLongValue() <= last || end->unsignedLongLongValue() > text->length())
            return nullptr;
        last = end->unsignedLongLongValue();
        runs.push_back({last, rt::cast<Dictionary>(values->copy())});
    }
    if (last != text->length()) return nullptr;
    string_ = rt::cast<String>(text->copy());
    runs_ = std::move(runs);
    return rt::retained(this);
}

void ParagraphStyle::encodeWithCoder(Coder& coder) const {
    coder.encodeInt64(s_.alignment, "NSAlignment");
    coder.encodeInt64(static_cast<std::int64_t>(s_.lineBreak), "NSLineBreakMode");
    coder.encodeDouble(s_.lineSpacing, "NSLineSpacing");
    coder.encodeDouble(s_.minLineHeight, "NSMinimumLineHeight");
    coder.encodeDouble(s_.maxLineHeight, "NSMaximumLineHeight");
    coder.encodeDouble(s_.lineHeightMultiple, "NSLineHeightMultiple");
    coder.encodeDouble(s_.firstLineHeadIndent, "NSFirstLineHeadIndent");
}

rt::Id ParagraphStyle::initWithCoder(Coder& coder) {
    auto style = MutableParagraphStyle::make();
    style->setAlignment(static_cast<long>(coder.decodeInt64("NSAlignment")));
    const std::int64_t mode = coder.decodeInt64("NSLineBreakMode");
    style->setLineBreakMode(mode >= 0 && mode <= 5 ? LineBreak(mode) : LineBreak::WordWrapping);
    style->setLineSpacing(coder.decodeDouble("NSLineSpacing"));
    style->setMinimumLineHeight(coder.decodeDouble("NSMinimumLineHeight"));
    style->setMaximumLineHeight(coder.decodeDouble("NSMaximumLineHeight"));
    style->setLineHeightMultiple(coder.decodeDouble("NSLineHeightMultiple"));
    style->setFirstLineHeadIndent(coder.decodeDouble("NSFirstLineHeadIndent"));
    s_ = style->s_;
    return rt::retained(this);
}
RT_DEFINE_CLASS(MutableParagraphStyle, "NSMutableParagraphStyle", ParagraphStyle)

} // namespace ns
