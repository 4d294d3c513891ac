#pragma once
// ui::Font ("UIFont"): an immutable font value, a name and a size in points. Its metrics come from
// the text stand-in's font of that name and size (ctFont()).

#include <string>
#include <string_view>

#include "platform/foundation/coding.h"
#include "platform/foundation/string.h"
#include "platform/runtime/object.h"
#include "platform/text/font.h"

namespace ui {

class Font final : public rt::Object, public ct::FontSource, public ns::Coding {
    RT_CLASS(Font)
public:
    // The system font's names, regular and bold.
    static constexpr std::string_view kSystemFontName = ".SFUIText";
    static constexpr std::string_view kBoldSystemFontName = ".SFUIText-Semibold";
    // The platform's text styles, with the size each has at the default text size.
    static constexpr std::string_view TextStyleHeadline = "UICTFontTextStyleHeadline";
    static constexpr std::string_view TextStyleBody = "UICTFontTextStyleBody";
    static constexpr std::string_view TextStyleSubheadline = "UICTFontTextStyleSubhead";
    static constexpr std::string_view TextStyleFootnote = "UICTFontTextStyleFootnote";
    static constexpr std::string_view TextStyleCaption1 = "UICTFontTextStyleCaption1";
    static constexpr std::string_view TextStyleCaption2 = "UICTFontTextStyleCaption2";

    static rt::Ref<Font> systemFontOfSize(double size);
    static rt::Ref<Font> boldSystemFontOfSize(double size);
    // Nil for an empty name or a size below zero (zero is the platform's default size, 17).
    static rt::Ref<Font> fontWithName(std::string_view name, double size);
    // The font of a text style (headline 17 bold, body 17, subheadline 15, footnote 13, caption
    // 12 and 11); the body font for a style it does not know.
    static rt::Ref<Font> preferredFontForTextStyle(std::string_view style);
    // Whether the font class answers preferredFontForTextStyle: (YES unless a test plays an older
    // system, which has no text styles).
    static bool offersTextStyles() noexcept;
    static void setOffersTextStyles(bool offers) noexcept;
    // 17, as the platform's labels use.
    static double labelFontSize() noexcept { return 17; }
    static double systemFontSize() noexcept { return 14; }

    const rt::Ref<ns::String>& fontName() const noexcept { return name_; }
    double pointSize() const noexcept { return size_; }
    rt::Ref<Font> fontWithSize(double size) const;
    // The metrics, in points: the descender is negative (below the baseline).
    double ascender() const;
    double descender() const;
    double leading() const;
    double lineHeight() const;
    // The text stand-in's font of this name and size (made once).
    const rt::Ref<ct::Font>& ctFont() const override;

    // "<UICTFont: 0x...> font-family: ".SFUIText"; font-weight: normal; font-style: normal; font-size: 17.00pt"
    std::string description() const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;
    // Archived as its name and size.
    void encodeWithCoder(ns::Coder& coder) const override;
    rt::Id initWithCoder(ns::Coder& coder) override;

private:
    Font();
    Font(rt::Ref<ns::String> name, double size);
    ~Font() override;

    rt::Ref<ns::String> name_;
    double size_;
    rt::Ref<ct::Font> ctFont_;
};

} // namespace ui
