#pragma once
// cg::RasterContext: a context that paints into pixels (premultiplied ARGB, 8 bits a channel, on
// cairo), y down with (0, 0) at the top-left pixel. A picture is a display list replayed into one.
// Shadows are painted as an offset copy blurred with a box filter, their offset in pixels (y down).
// An image command holding a cg::Image paints its pixels as cg::BitmapContext draws them (top row
// at the rectangle's larger y, smoothly scaled, clipped to the rectangle, at the state's alpha);
// any other image object paints a light grey box where the image would be. Filled glyphs are
// painted from coverage masks kept for the whole process (glyph_masks.h).

#include <cstdint>
#include <memory>
#include <string>

#include "platform/graphics/context.h"

namespace ns {
class Error;
}

namespace cg {

struct Pixel {
    std::uint8_t red = 0, green = 0, blue = 0, alpha = 0; // not premultiplied
    bool operator==(const Pixel&) const = default;
};

class RasterContext final : public Context {
public:
    // Width and height in pixels, held to 1...16384; every pixel transparent.
    RasterContext(int width, int height);
    ~RasterContext() override;

    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }
    // Paints every pixel with the colour (nil: transparent), ignoring the state.
    void clearTo(const rt::Ref<Color>& color);
    // Transparent outside the picture.
    Pixel pixel(int x, int y) const;
    // Premultiplied pixels, `stride` bytes a row, in the platform's native ARGB order.
    const std::uint8_t* data() const;
    int stride() const;
    // The picture as a PNG file's bytes.
    std::string png() const;
    // Writes a PNG file (ns::writeFile); an error (domain NSCocoaErrorDomain, code 512) when it cannot.
    rt::Ref<ns::Error> writePNG(const std::string& path) const;

protected:
    void render(const DrawCommand& command) override;

private:
    struct Surface;
    std::unique_ptr<Surface> surface_;
    int width_, height_;
};

inline rt::Ref<ns::Error> writePNG(const RasterContext& picture, const std::string& path) {
    return picture.writePNG(path);
}

} // namespace cg
