#pragma once
// ct::Font ("CTFont"): a face of the current font backend at a size. Immutable; the glyph source
// of the runs it shapes (cg::Font). An unknown name falls back to the backend's default face; a
// size that is not a positive finite number is 12, as is the font of a run without one.

#include <memory>
#include <string>
#include <string_view>

#include "platform/graphics/font.h"

namespace ct {

class FontFace;
class Font;

// A font value of a higher layer (ui::Font) that the typesetter can read.
class FontSource {
public:
    virtual const rt::Ref<Font>& ctFont() const = 0;

protected:
    ~FontSource() = default;
};

class Font final : public cg::Font {
    RT_CLASS(Font)
public:
    static constexpr double kDefaultSize = 12;
    static constexpr std::string_view kSystemFontName = ".SFUIText";
    static constexpr std::string_view kBoldSystemFontName = ".SFUIText-Semibold";

    static rt::Ref<Font> withName(std::string_view name, double size);
    static rt::Ref<Font> systemFont(double size) { return withName(kSystemFontName, size); }
    static rt::Ref<Font> boldSystemFont(double size) { return withName(kBoldSystemFontName, size); }
    // The font of a run without one: the system font at 12.
    static const rt::Ref<Font>& defaultFont();

    // The name it was asked for.
    const std::string& name() const noexcept { return name_; }
    const std::string& postScriptName() const;
    double size() const noexcept { return size_; }
    double pointSize() const override { return size_; }
    double ascent() const;
    // Positive below the baseline.
    double descent() const;
    double leading() const;
    // ascent + descent + leading.
    double lineHeight() const { return ascent() + descent() + leading(); }
    // Negative below the baseline.
    double underlinePosition() const;
    double underlineThickness() const;
    rt::Ref<Font> withSize(double size) const { return withName(name_, size); }
    const FontFace& face() const noexcept { return *face_; }

    rt::Ref<cg::Path> pathForGlyph(std::uint32_t glyph) const override;
    // The face: backends keep their faces as long as the process.
    const void* outlineSource() const override { return face_.get(); }

    std::string description() const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;

private:
    Font(std::string name, double size, std::shared_ptr<const FontFace> face)
        : name_(std::move(name)), size_(size), face_(std::move(face)) {}

    std::string name_;
    double size_;
    std::shared_ptr<const FontFace> face_;
};

} // namespace ct
