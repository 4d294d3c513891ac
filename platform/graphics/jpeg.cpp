#include "platform/graphics/jpeg.h"

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "platform/graphics/image.h"

namespace cg {

namespace {

// libjpeg's errors come back here by longjmp instead of ending the process.
struct JpegErrorTrap {
    jpeg_error_mgr manager{};
    std::jmp_buf jump{};
    char message[JMSG_LENGTH_MAX] = {};
};

void jpegErrorExit(j_common_ptr info) {
    auto* trap = reinterpret_cast<JpegErrorTrap*>(info->err);
    info->err->format_message(info, trap->message);
    std::longjmp(trap->jump, 1);
}

void jpegSilence(j_common_ptr, int) {}

void jpegInstallTrap(JpegErrorTrap& trap) {
    jpeg_std_error(&trap.manager);
    trap.manager.error_exit = jpegErrorExit;
    trap.manager.emit_message = jpegSilence;
}

} // namespace

std::vector<std::uint8_t> encodeJPEG(int width, int height, int bytesPerRow, const std::uint8_t* rgb, int quality,
                                     std::string* why) {
    std::vector<std::uint8_t> out;
    if (width <= 0 || height <= 0 || bytesPerRow < width * 3 || !rgb) {
        if (why) *why = "no pixels";
        return out;
    }
    JpegErrorTrap trap;
    jpeg_compress_struct info{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    info.err = &trap.manager;
    jpegInstallTrap(trap);
    if (setjmp(trap.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        if (why) *why = trap.message;
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality < 1 ? 1 : quality > 100 ? 100 : quality, TRUE);
    info.dct_method = JDCT_IFAST;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + std::size_t(info.next_scanline) * std::size_t(bytesPerRow));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    out.assign(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

rt::Ref<Image> createWithJPEGData(const std::uint8_t* bytes, std::size_t length, std::string* why) {
    if (!bytes || length < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) {
        if (why) *why = "not a JPEG picture";
        return nullptr;
    }
    JpegErrorTrap trap;
    jpeg_decompress_struct info{};
    std::vector<std::uint32_t> words;
    info.err = &trap.manager;
    jpegInstallTrap(trap);
    if (setjmp(trap.jump)) {
        jpeg_destroy_decompress(&info);
        if (why) *why = trap.message;
        return nullptr;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes, static_cast<unsigned long>(length));
    jpeg_read_header(&info, TRUE);
    // Straight into the rasteriser's words (0xFFRRGGBB in the host's order), so drawing the
    // picture converts and copies nothing.
    info.out_color_space = std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    info.dct_method = JDCT_IFAST;
    info.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&info);
    const std::size_t width = info.output_width, height = info.output_height;
    words.resize(width * height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[] = {reinterpret_cast<JSAMPROW>(words.data() + std::size_t(info.output_scanline) * width)};
        jpeg_read_scanlines(&info, rows, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return Image::createWithRasterWords(width, height, std::move(words));
}

} // namespace cg
