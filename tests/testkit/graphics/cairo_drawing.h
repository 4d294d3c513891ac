#pragma once
// The bitmap context's drawing as cairo did it before the context sampled pictures itself, kept to
// check the pixels against: `image` drawn as cg::BitmapContext::drawImage draws it on `context`
// (its size, layout, transform and interpolation quality), over what the context holds now. Also
// noisy pictures to draw, and the largest difference between two pictures' bytes.

#include <cstdint>

#include "platform/graphics/bitmap_context.h"

namespace testkit {

rt::Ref<cg::Image> drawnByCairo(const cg::BitmapContext& context, const cg::Rect& rect, const cg::Image& image);

// width x height pixels of the layout, every byte drawn from `seed` (premultiplied components
// held to their alpha); `smooth` makes neighbours close, as in a photograph.
rt::Ref<cg::Image> noisyImage(std::size_t width, std::size_t height, cg::BitmapInfo info, std::uint32_t seed,
                              bool smooth = false);

// The largest difference between the bytes of two images of one size and layout (256 when they
// differ in either).
int largestDifference(const cg::Image& a, const cg::Image& b);

} // namespace testkit
