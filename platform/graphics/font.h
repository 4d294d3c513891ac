#pragma once
// cg::Font ("CGFont"): the source of glyph outlines a recorded glyph run holds, so a display list
// replays without anything above graphics. The text stand-in's fonts implement it.

#include <cstdint>

#include "platform/graphics/path.h"

namespace cg {

class Font : public rt::Object {
    RT_CLASS(Font)
public:
    // The glyph's outline at the font's size, y up, its origin on the baseline at the pen; nil for
    // a glyph without ink.
    virtual rt::Ref<Path> pathForGlyph(std::uint32_t glyph) const = 0;
    virtual double pointSize() const = 0;
    // What the outlines come from, for as long as the process lives: two fonts of the same source
    // and size give the same outlines, so a picture may keep a glyph it painted for both. Null
    // (the default): nothing is kept.
    virtual const void* outlineSource() const { return nullptr; }

protected:
    Font() = default;
};

} // namespace cg
