// The real backend: DejaVu Sans from fixed files, FreeType reads metrics and outlines (unhinted),
// HarfBuzz shapes. HarfBuzz fonts are immutable once made, so shaping needs no lock; each thread
// reuses one buffer. FreeType faces are locked (detail::OutlineSource).

#include <hb.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <map>

#include "platform/text/font_backend.h"

namespace ct {

namespace {

constexpr const char* kFamily = "DejaVu Sans";

// A bold or semibold name ("…-Bold", "…-Semibold") is the bold face, every other the regular one.
const std::string& fileFor(std::string_view name) {
    static const std::vector<std::string> files = realFontFiles();
    return name.ends_with("-Bold") || name.ends_with("-Semibold") ? files[1] : files[0];
}

class RealFace final : public FontFace {
public:
    RealFace(std::shared_ptr<detail::OutlineSource> outlines) : outlines_(std::move(outlines)) {
        auto* face = static_cast<FT_Face>(outlines_->face());
        const double upem = outlines_->unitsPerEm();
        {
            std::lock_guard guard(outlines_->lock());
            const char* ps = FT_Get_Postscript_Name(face);
            name_ = ps ? ps : kFamily;
            metrics_.ascent = face->ascender / upem;
            metrics_.descent = -face->descender / upem;
            metrics_.leading = std::max(0.0, face->height / upem - metrics_.ascent - metrics_.descent);
            metrics_.underlinePosition = face->underline_position / upem;
            metrics_.underlineThickness = face->underline_thickness / upem;
        }
        // HarfBuzz reads the bytes FreeType has mapped, when it has: the file is in memory once.
        const FT_Stream stream = face->stream;
        hb_blob_t* blob = stream && stream->base
                              ? hb_blob_create(reinterpret_cast<const char*>(stream->base), unsigned(stream->size),
                                               HB_MEMORY_MODE_READONLY, nullptr, nullptr)
                              : hb_blob_create_from_file(outlines_->file().c_str());
        hb_face_t* hbFace = hb_face_create(blob, 0);
        font_ = hb_font_create(hbFace);
        hb_font_set_scale(font_, int(upem), int(upem));
        hb_font_make_immutable(font_);
        hb_face_destroy(hbFace);
        hb_blob_destroy(blob);
        upem_ = upem;
    }
    ~RealFace() override { hb_font_destroy(font_); }

    const std::string& postScriptName() const override { return name_; }
    const FaceMetrics& metrics() const override { return metrics_; }

    void shape(std::u16string_view text, std::size_t start, std::size_t length, bool ligatures,
               std::vector<ShapedGlyph>& out) const override {
        struct Buffer {
            hb_buffer_t* buffer = hb_buffer_create();
            ~Buffer() { hb_buffer_destroy(buffer); }
        };
        thread_local Buffer reused;
        hb_buffer_t* buffer = reused.buffer;
        hb_buffer_clear_contents(buffer);
        hb_buffer_add_utf16(buffer, reinterpret_cast<const std::uint16_t*>(text.data()), int(text.size()),
                            unsigned(start), int(length));
        hb_buffer_set_direction(buffer, HB_DIRECTION_LTR);
        hb_buffer_guess_segment_properties(buffer);
        static const hb_feature_t noLigatures[] = {
            {HB_TAG('l', 'i', 'g', 'a'), 0, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END},
            {HB_TAG('c', 'l', 'i', 'g'), 0, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END},
        };
        hb_shape(font_, buffer, ligatures ? nullptr : noLigatures, ligatures ? 0 : 2);
        unsigned count = 0;
        const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
        const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, &count);
        for (unsigned i = 0; i < count; ++i)
            out.push_back({info[i].codepoint, info[i].cluster, pos[i].x_advance / upem_, pos[i].x_offset / upem_,
                           pos[i].y_offset / upem_});
    }

    rt::Ref<cg::Path> outline(std::uint32_t glyph, double size) const override {
        rt::Ref<cg::Path> em = outlines_->emOutline(glyph);
        return em ? em->copyByTransforming(cg::AffineTransform::identity().scale(size, size)) : nullptr;
    }

private:
    std::shared_ptr<detail::OutlineSource> outlines_;
    std::string name_;
    FaceMetrics metrics_;
    hb_font_t* font_ = nullptr;
    double upem_ = 1000;
};

class RealBackend final : public FontBackend {
public:
    const char* name() const override { return "real"; }
    std::shared_ptr<const FontFace> faceNamed(std::string_view name) override {
        std::lock_guard guard(lock_);
        auto& face = faces_[fileFor(name)];
        if (face) return face;
        auto outlines = detail::OutlineSource::open(fileFor(name));
        // Without the file the model's face stands in; the main job refuses to run so.
        if (!outlines) return modelFontBackend().faceNamed(name);
        face = std::make_shared<RealFace>(std::move(outlines));
        return face;
    }

private:
    std::mutex lock_;
    std::map<std::string, std::shared_ptr<const FontFace>, std::less<>> faces_; // by file
};

} // namespace

std::vector<std::string> realFontFiles() {
    return {std::string(kDejaVuFolder) + "DejaVuSans.ttf", std::string(kDejaVuFolder) + "DejaVuSans-Bold.ttf"};
}

std::string unreadableRealFontFile() {
    for (const std::string& file : realFontFiles())
        if (!detail::OutlineSource::open(file)) return file;
    return {};
}

FontBackend& realFontBackend() {
    static RealBackend* backend = new RealBackend; // faces live as long as the process
    return *backend;
}

} // namespace ct
