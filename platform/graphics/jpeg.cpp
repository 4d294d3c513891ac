#include "platform/graphics/jpeg.h"

#include <csetjmp>
#include <cstdio>

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
    std::vector<std::uint8_t> pixels;
    std::vector<std::uint8_t> row;
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
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const std::size_t width = info.output_width, height = info.output_height;
    pixels.resize(width * height * 4);
    row.resize(width * 3);
    while (info.output_scanline < info.output_height) {
        const std::size_t y = info.output_scanline;
        JSAMPROW rows[] = {row.data()};
        jpeg_read_scanlines(&info, rows, 1);
        std::uint8_t* to = pixels.data() + y * width * 4;
        for (std::size_t x = 0; x < width; ++x) {
            to[x * 4] = row[x * 3];
            to[x * 4 + 1] = row[x * 3 + 1];
            to[x * 4 + 2] = row[x * 3 + 2];
            to[x * 4 + 3] = 0xFF;
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return Image::create(width, height, width * 4, BitmapInfo(ImageAlphaInfo::NoneSkipLast), std::move(pixels));
}

} // namespace cg
