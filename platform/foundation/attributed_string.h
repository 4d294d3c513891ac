#pragma once
// ns::AttributedString ("NSAttributedString") and ns::MutableAttributedString
// ("NSMutableAttributedString"): a string with a dictionary of attributes over each range.
//
// Ranges are in UTF-16 units, as ns::String's; an argument beyond the text raises
// "NSRangeException". The attributes are kept as runs that cover the text with no gaps;
// neighbouring runs with equal attributes are one run, so an effective range is as long as the
// attributes stay the same. A run's dictionary is immutable and may be shared.

#include <functional>
#include <string_view>
#include <vector>

#include "platform/foundation/coding.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"

namespace ns {

class MutableAttributedString;

// The attribute names the text stand-in reads.
inline constexpr const char* FontAttributeName = "NSFont";             // ui::Font or ct::Font
inline constexpr const char* ForegroundColorAttributeName = "NSColor"; // ui::Color or cg::Color
inline constexpr const char* CTForegroundColorAttributeName = "CTForegroundColor"; // cg::Color or ui::Color
inline constexpr const char* CTForegroundColorFromContextAttributeName = "CTForegroundColorFromContext"; // bool
inline constexpr const char* BackgroundColorAttributeName = "NSBackgroundColor";
inline constexpr const char* ParagraphStyleAttributeName = "NSParagraphStyle"; // ns::ParagraphStyle
inline constexpr const char* KernAttributeName = "NSKern";                     // number, points
inline constexpr const char* UnderlineStyleAttributeName = "NSUnderline";      // number (0 none, 1 single, 2 thick, 9 double)
inline constexpr const char* UnderlineColorAttributeName = "NSUnderlineColor";
inline constexpr const char* SuperscriptAttributeName = "NSSuperScript";       // number (1 up, -1 down)
inline constexpr const char* RunDelegateAttributeName = "CTRunDelegate";       // ct::RunDelegate
inline constexpr const char* WritingDirectionAttributeName = "NSWritingDirection"; // array of numbers (1: right to left)
inline constexpr const char* StrokeWidthAttributeName = "NSStrokeWidth";       // number, percent of the size
inline constexpr const char* StrokeColorAttributeName = "NSStrokeColor";
inline constexpr const char* LigatureAttributeName = "NSLigature";             // number (0: none)
inline constexpr const char* LinkAttributeName = "NSLink";
inline constexpr const char* TextEffectAttributeName = "NSTextEffect";         // string (stored, not drawn)
inline constexpr const char* TextEffectLetterpressStyle = "_UIKitNewLetterpressStyle";

class AttributedString : public rt::Object, public Coding {
    RT_CLASS(AttributedString)
public:
    using Attributes = rt::Ref<Dictionary>;
    using AttributeBlock = std::function<void(const rt::Id& value, Range range, bool& stop)>;
    using AttributesBlock = std::function<void(const Attributes& attributes, Range range, bool& stop)>;

    // Nil text counts as empty.
    static rt::Ref<AttributedString> make(rt::Ref<String> text, Attributes attributes = nullptr);
    static rt::Ref<AttributedString> make(std::string_view text, Attributes attributes = nullptr) {
        return make(String::make(text), std::move(attributes));
    }
    static rt::Ref<AttributedString> withAttributedString(const AttributedString& other);

    const rt::Ref<String>& string() const noexcept { return string_; }
    std::size_t length() const noexcept { return string_->length(); }

    // Never nil (empty when none). `effective` receives the run's range.
    Attributes attributesAtIndex(std::size_t index, Range* effective = nullptr) const;
    // Nil when absent; `effective` receives the longest range around `index` with that value.
    rt::Id attributeAtIndex(std::string_view name, std::size_t index, Range* effective = nullptr) const;
    // Each stretch of one value of the attribute within `range`, absent (nil) stretches included.
    void enumerateAttribute(std::string_view name, Range range, const AttributeBlock& block) const;
    void enumerateAttributes(Range range, const AttributesBlock& block) const;
    rt::Ref<AttributedString> attributedSubstringFromRange(Range range) const;
    bool isEqualToAttributedString(const AttributedString* other) const;

    rt::Id copy() const override;
    rt::Ref<MutableAttributedString> mutableCopy() const;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override { return string_->hash(); }
    std::string description() const override;

    // The runs, in order: each run's end offset and its attributes.
    struct Run {
        std::size_t end;
        Attributes attributes;
    };
    const std::vector<Run>& runs() const noexcept { return runs_; }

    // Archived as its string, its runs' ends and their attributes (whose values must archive).
    void encodeWithCoder(Coder& coder) const override;
    rt::Id initWithCoder(Coder& coder) override;

protected:
    AttributedString();
    void checkRange(Range range, const char* method) const;
    void checkIndex(std::size_t index, const char* method) const;
    std::size_t runAt(std::size_t index) const; // the run holding `index` (< length)

    rt::Ref<String> string_;
    std::vector<Run> runs_;
};

class MutableAttributedString final : public AttributedString {
    RT_CLASS(MutableAttributedString)
public:
    static rt::Ref<MutableAttributedString> make(rt::Ref<String> text = nullptr, Attributes attributes = nullptr);
    static rt::Ref<MutableAttributedString> make(std::string_view text, Attributes attributes = nullptr) {
        return make(String::make(text), std::move(attributes));
    }

    void setAttributes(Attributes attributes, Range range);
    void addAttribute(std::string_view name, const rt::Id& value, Range range);
    void addAttributes(const Dictionary& attributes, Range range);
    void removeAttribute(std::string_view name, Range range);
    // The new text takes the attributes of the first character replaced, or of the one before
    // when nothing is replaced (the one after at the start).
    void replaceCharactersInRange(Range range, const String& text);
    void replaceCharactersInRange(Range range, const AttributedString& text);
    void insertAttributedString(const AttributedString& text, std::size_t index);
    void appendAttributedString(const AttributedString& text);
    void deleteCharactersInRange(Range range);
    void setAttributedString(const AttributedString& text);

    // An immutable copy.
    rt::Id copy() const override;

    MutableAttributedString() = default;

private:
    // Changes each run's attributes within `range` with `change`, splitting at its ends.
    void edit(Range range, const std::function<Attributes(const Attributes&)>& change);
    void splice(Range range, const String& text, std::vector<Run> inserted);
    void coalesce();
};

// The attributes of the text stand-in's paragraphs. Alignment is kept in UIKit's numbering
// (left 0, centre 1, right 2, justified 3, natural 4).
class ParagraphStyle : public rt::Object, public Coding {
    RT_CLASS(ParagraphStyle)
public:
    enum class LineBreak : long { WordWrapping = 0, CharWrapping = 1, Clipping = 2, TruncatingHead = 3,
                                  TruncatingTail = 4, TruncatingMiddle = 5 };
    static const rt::Ref<ParagraphStyle>& defaultStyle();

    long alignment() const noexcept { return s_.alignment; }
    LineBreak lineBreakMode() const noexcept { return s_.lineBreak; }
    double lineSpacing() const noexcept { return s_.lineSpacing; }
    double minimumLineHeight() const noexcept { return s_.minLineHeight; }
    // 0: no maximum.
    double maximumLineHeight() const noexcept { return s_.maxLineHeight; }
    // 0: the natural height.
    double lineHeightMultiple() const noexcept { return s_.lineHeightMultiple; }
    double firstLineHeadIndent() const noexcept { return s_.firstLineHeadIndent; }

    rt::Id copy() const override;
    rt::Ref<class MutableParagraphStyle> mutableCopy() const;
    bool isEqual(const rt::Object* other) const override;
    void encodeWithCoder(Coder& coder) const override;
    rt::Id initWithCoder(Coder& coder) override;
    std::size_t hash() const override;

protected:
    ParagraphStyle() = default;
    rt::Ref<ParagraphStyle> frozenCopy() const;
    struct Settings {
        long alignment = 4;
        LineBreak lineBreak = LineBreak::WordWrapping;
        double lineSpacing = 0;
        double minLineHeight = 0;
        double maxLineHeight = 0;
        double lineHeightMultiple = 0;
        double firstLineHeadIndent = 0;
        bool operator==(const Settings&) const = default;
    };
    Settings s_;
};

class MutableParagraphStyle final : public ParagraphStyle {
    RT_CLASS(MutableParagraphStyle)
public:
    static rt::Ref<MutableParagraphStyle> make() { return rt::make<MutableParagraphStyle>(); }
    // Negative or non-finite values are taken as 0.
    void setAlignment(long alignment) { s_.alignment = alignment; }
    void setLineBreakMode(LineBreak mode) { s_.lineBreak = mode; }
    void setLineSpacing(double v) { s_.lineSpacing = sane(v); }
    void setMinimumLineHeight(double v) { s_.minLineHeight = sane(v); }
    void setMaximumLineHeight(double v) { s_.maxLineHeight = sane(v); }
    void setLineHeightMultiple(double v) { s_.lineHeightMultiple = sane(v); }
    void setFirstLineHeadIndent(double v) { s_.firstLineHeadIndent = sane(v); }

    rt::Id copy() const override;
    MutableParagraphStyle() = default;

private:
    static double sane(double v) noexcept { return v >= 0 && v < 1e300 ? v : 0; }
};

} // namespace ns
