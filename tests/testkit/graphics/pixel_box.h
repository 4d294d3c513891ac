#pragma once
// Where a colour lies in a painted picture: the smallest rectangle, in pixels from the top left,
// holding every pixel within `within` whose colour `is` accepts (transparent outside the
// picture); null when none does. With a view's painting in hand (`paintedView`), a test finds
// where an image or a mark landed without knowing how it was placed.

#include <memory>

#include "platform/graphics/raster_context.h"
#include "platform/graphics/recording_context.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_rendering.h"

namespace testkit {

template <class Is> cg::Rect pixelBox(const cg::RasterContext& picture, const cg::Rect& within, Is is) {
    cg::Rect box = cg::Rect::null();
    for (int y = int(within.minY()); y < int(within.maxY()); ++y)
        for (int x = int(within.minX()); x < int(within.maxX()); ++x)
            if (is(picture.pixel(x, y))) box = box.unionWith(cg::Rect::make(x, y, 1, 1));
    return box;
}

// The same over the whole picture.
template <class Is> cg::Rect pixelBox(const cg::RasterContext& picture, Is is) {
    return pixelBox(picture, cg::Rect::make(0, 0, picture.width(), picture.height()), is);
}

// The view as it draws at the picture's corner, one pixel a point, white where it draws nothing.
inline std::unique_ptr<cg::RasterContext> paintedView(ui::View& view) {
    cg::RecordingContext recording;
    recording.translateCTM(-view.frame().minX(), -view.frame().minY());
    ui::renderView(view, recording);
    return ui::pictureOf(recording.displayList(), view.frame().size);
}

} // namespace testkit
