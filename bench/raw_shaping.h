#pragma once
// Raw HarfBuzz shaping of a text in DejaVu Sans, the one buffer reused, for the text benchmarks to
// set the text stand-in's figures beside; and the font backend a benchmark runs under.

#include <cstdint>
#include <string>

#include <benchmark/benchmark.h>
#include <hb.h>

#include "platform/text/font_backend.h"

namespace bench {

// Shapes `text` once an iteration; answers the glyphs of one shaping.
inline unsigned shapeRaw(benchmark::State& state, const std::u16string& text) {
    const std::string file = ct::detail::findFontFile("DejaVu Sans");
    hb_blob_t* blob = hb_blob_create_from_file(file.c_str());
    hb_face_t* face = hb_face_create(blob, 0);
    hb_font_t* font = hb_font_create(face);
    hb_buffer_t* buffer = hb_buffer_create();
    unsigned glyphs = 0;
    for (auto _ : state) {
        hb_buffer_clear_contents(buffer);
        hb_buffer_add_utf16(buffer, reinterpret_cast<const std::uint16_t*>(text.data()), int(text.size()), 0,
                            int(text.size()));
        hb_buffer_guess_segment_properties(buffer);
        hb_shape(font, buffer, nullptr, 0);
        glyphs = hb_buffer_get_length(buffer);
        benchmark::DoNotOptimize(hb_buffer_get_glyph_positions(buffer, nullptr));
    }
    hb_buffer_destroy(buffer);
    hb_font_destroy(font);
    hb_face_destroy(face);
    hb_blob_destroy(blob);
    return glyphs;
}

struct Backend {
    ct::FontBackend* previous = &ct::fontBackend();
    explicit Backend(ct::FontBackend& backend) { ct::setFontBackend(backend); }
    ~Backend() { ct::setFontBackend(*previous); }
};

} // namespace bench
