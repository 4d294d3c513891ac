#pragma once
// The image context: a bitmap context to draw a new image into, on a per-thread stack. Its user
// space has the origin at the top left and y down, one point a pixel (scale 1); its bitmap has no
// alpha (bitmap info 5).
//
//   ui::graphicsBeginImageContext({w, h});
//   ui::graphicsGetCurrentImageContext()->drawImage(...);
//   rt::Ref<ui::Image> image = ui::graphicsGetImageFromCurrentImageContext();
//   ui::graphicsEndImageContext();
//
// Each begin is matched by one end. A size that is not positive and finite, or too large, opens an
// empty entry: the current context and its image are nil until the matching end.

#include "platform/graphics/bitmap_context.h"
#include "platform/graphics/geometry.h"
#include "platform/uikit/image.h"

namespace ui {

// Pushes a context of `size`, each side rounded up to whole pixels.
void graphicsBeginImageContext(cg::Size size);
// The top of this thread's stack of image contexts; nil when it is empty. Image contexts are
// bitmap contexts, kept apart from the drawing contexts that graphicsGetCurrentContext() gives
// (graphics_context.h) until the bitmap context draws paths and text too.
rt::Ref<cg::BitmapContext> graphicsGetCurrentImageContext();
// The current image context's bitmap as an image (scale 1, upright); nil without a context.
rt::Ref<Image> graphicsGetImageFromCurrentImageContext();
// Pops this thread's top context; nothing when the stack is empty.
void graphicsEndImageContext();

} // namespace ui
