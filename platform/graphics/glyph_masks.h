#pragma once
// Inside the graphics library: glyphs painted from masks kept for the whole process, so that a
// picture fills a glyph's outline once and every later picture only copies its coverage.
//
// A mask is the coverage cairo gives the glyph's outline filled at one size, one linear transform
// from text space to pixels, and one position within its pixel (to an eighth of a pixel each way,
// which the model font's advances at whole sizes meet exactly). A run's masks are added into one
// coverage of the run, painted once with the run's colour through the clip. Masks are kept by the
// font's outline source and size, so that equal fonts share them; the cache holds at most a few
// MiB and starts over when full. Thread-safe.

#include <cairo.h>

#include <cstddef>

#include "platform/graphics/context.h"

namespace cg::detail {

// Fills the run's glyphs with `color` at `alpha` (the CTM is `ctm`); false, with nothing painted,
// for a run the masks do not serve: a font without an outline source, or glyphs too large to keep.
bool paintGlyphMasks(cairo_t* cr, const GlyphRun& run, const AffineTransform& ctm, const Color& color, double alpha);

// Adds the path (in the current user space) to cairo's current path.
void appendPath(cairo_t* cr, const Path& path);

// How many masks were made since the process started, and how many are kept now.
struct GlyphMaskCount {
    std::size_t made = 0;
    std::size_t kept = 0;
};
GlyphMaskCount glyphMaskCount();

} // namespace cg::detail
