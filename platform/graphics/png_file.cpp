#include <cairo.h>

#include <cstring>

#include "platform/graphics/image.h"

namespace cg {

rt::Ref<Image> Image::createWithPNGFile(const std::string& path, std::string* why) {
    cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
    auto fail = [&](const char* reason) -> rt::Ref<Image> {
        if (why) *why = reason;
        cairo_surface_destroy(surface);
        return nullptr;
    };
    if (const cairo_status_t status = cairo_surface_status(surface); status != CAIRO_STATUS_SUCCESS)
        return fail(cairo_status_to_string(status));
    const cairo_format_t format = cairo_image_surface_get_format(surface);
    if (format != CAIRO_FORMAT_ARGB32 && format != CAIRO_FORMAT_RGB24) return fail("not a colour picture");
    cairo_surface_flush(surface);
    const auto width = std::size_t(cairo_image_surface_get_width(surface));
    const auto height = std::size_t(cairo_image_surface_get_height(surface));
    const auto stride = std::size_t(cairo_image_surface_get_stride(surface));
    const unsigned char* data = cairo_image_surface_get_data(surface);
    if (!data || width == 0 || height == 0) return fail("an empty picture");
    std::vector<std::uint8_t> bytes(stride * height);
    std::memcpy(bytes.data(), data, bytes.size());
    cairo_surface_destroy(surface);
    // Cairo's pixels are native 32-bit words, alpha in the top byte (unused without alpha).
    const ImageAlphaInfo alpha =
        format == CAIRO_FORMAT_ARGB32 ? ImageAlphaInfo::PremultipliedFirst : ImageAlphaInfo::NoneSkipFirst;
    return create(width, height, stride, BitmapInfo(alpha) | kBitmapByteOrder32Host, std::move(bytes));
}

} // namespace cg
