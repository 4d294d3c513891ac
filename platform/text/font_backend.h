#pragma once
// The font backends behind ct::Font. A backend finds a face by name; a face gives metrics,
// shapes UTF-16 text into glyphs and hands out glyph outlines. Faces are immutable and shared by
// every font of that name, and may be used from several threads at once.
//
// Two backends:
// - the model backend (the default): every name has the same metrics; at size S a code point
//   advances 0.625·S (combining marks 0), ascent 0.75·S, descent 0.25·S, leading 0, the underline
//   at -S/8, S/16 thick, all exact in binary. Glyphs are code points; their outlines are DejaVu
//   Sans Mono's, scaled into the cell.
// - the real backend: DejaVu Sans, proportional, read from the files of Debian's fonts-dejavu-core
//   at fixed paths (realFontFiles), so what else the host has installed never changes a layout:
//   a bold or semibold name is DejaVu Sans Bold, every other name DejaVu Sans. FreeType reads it
//   (unhinted) and HarfBuzz shapes. Without its file a face is the model's (the main job checks
//   the files first: unreadableRealFontFile).
// ct::setFontBackend picks one for fonts made afterwards; FT_FONT_BACKEND=real in the environment
// picks the real one at start-up.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/path.h"

namespace ct {

// In em units (multiply by the point size). Descent is positive below the baseline; the underline
// position is negative below it.
struct FaceMetrics {
    double ascent = 0;
    double descent = 0;
    double leading = 0;
    double underlinePosition = 0;
    double underlineThickness = 0;
};

// One glyph of shaped text. `cluster` is the UTF-16 offset, in the paragraph, of the first unit it
// stands for; advance and offsets are in em units.
struct ShapedGlyph {
    std::uint32_t glyph = 0;
    std::uint32_t cluster = 0;
    double advance = 0;
    double xOffset = 0;
    double yOffset = 0;
};

class FontFace {
public:
    virtual ~FontFace() = default;
    virtual const std::string& postScriptName() const = 0;
    virtual const FaceMetrics& metrics() const = 0;
    // Shapes paragraph[start, start + length) left to right, seeing the whole paragraph as context;
    // appends the glyphs in order. A lone surrogate is one U+FFFD.
    virtual void shape(std::u16string_view paragraph, std::size_t start, std::size_t length, bool ligatures,
                       std::vector<ShapedGlyph>& out) const = 0;
    // The outline at that size (y up, origin at the pen); nil for a glyph without ink.
    virtual rt::Ref<cg::Path> outline(std::uint32_t glyph, double size) const = 0;
};

class FontBackend {
public:
    virtual ~FontBackend() = default;
    virtual const char* name() const = 0;
    // Never null: an unknown name falls back.
    virtual std::shared_ptr<const FontFace> faceNamed(std::string_view name) = 0;
};

FontBackend& modelFontBackend();
FontBackend& realFontBackend();
// Where fonts-dejavu-core installs its faces.
inline constexpr std::string_view kDejaVuFolder = "/usr/share/fonts/truetype/dejavu/";
// The real backend's files: the regular face, then the bold.
std::vector<std::string> realFontFiles();
// The first of them that cannot be read as a face; empty when all can.
std::string unreadableRealFontFile();
// The backend new fonts use.
FontBackend& fontBackend();
void setFontBackend(FontBackend& backend);

// A combining mark (no advance in the model font).
bool isCombiningMark(char32_t c) noexcept;

namespace detail {
// Outlines from a font file through FreeType, cached in em units. Thread-safe.
class OutlineSource {
public:
    // Null when the file cannot be read.
    static std::shared_ptr<OutlineSource> open(const std::string& file);
    ~OutlineSource();
    std::uint32_t glyphForCodePoint(char32_t c) const;
    double unitsPerEm() const noexcept;
    // In em units, y up; nil for an empty glyph.
    rt::Ref<cg::Path> emOutline(std::uint32_t glyph) const;
    // The face itself (an FT_Face), with the lock that guards it.
    void* face() const noexcept;
    std::mutex& lock() const noexcept;
    const std::string& file() const noexcept;

    struct State;
    explicit OutlineSource(std::unique_ptr<State> state);

private:
    std::unique_ptr<State> state_;
};
// A font file fontconfig finds for the family (the best match; empty when none).
std::string findFontFile(const std::string& family);
} // namespace detail

} // namespace ct
