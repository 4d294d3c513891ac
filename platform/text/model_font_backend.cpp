// The model backend: fixed, exact metrics for every name; DejaVu Sans Mono's outlines.

#include <atomic>
#include <cstdlib>
#include <map>

#include "platform/text/font_backend.h"
#include "platform/text/utf16.h"

namespace ct {

bool isCombiningMark(char32_t c) noexcept {
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x0483 && c <= 0x0489) || (c >= 0x0591 && c <= 0x05BD) ||
           (c >= 0x0610 && c <= 0x061A) || (c >= 0x064B && c <= 0x065F) || (c >= 0x0E34 && c <= 0x0E3A) ||
           (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
           (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xFE20 && c <= 0xFE2F) || (c >= 0xE0100 && c <= 0xE01EF) ||
           c == 0x0E31;
}

namespace {

constexpr double kAdvance = 0.625;
constexpr double kMonoAdvance = 1233.0 / 2048.0; // DejaVu Sans Mono's cell, in em

const std::shared_ptr<detail::OutlineSource>& monoOutlines() {
    // Kept for the life of the process with the outlines it caches (never destroyed at exit).
    static const auto* source = new std::shared_ptr<detail::OutlineSource>([] {
        std::string file = detail::findFontFile("DejaVu Sans Mono");
        if (file.empty() || file.find("Mono") == std::string::npos)
            file = std::string(kDejaVuFolder) + "DejaVuSansMono.ttf";
        return detail::OutlineSource::open(file);
    }());
    return *source;
}

class ModelFace final : public FontFace {
public:
    explicit ModelFace(std::string name) : name_(std::move(name)) {}

    const std::string& postScriptName() const override { return name_; }
    const FaceMetrics& metrics() const override {
        static const FaceMetrics m{0.75, 0.25, 0, -0.125, 0.0625};
        return m;
    }

    void shape(std::u16string_view text, std::size_t start, std::size_t length, bool,
               std::vector<ShapedGlyph>& out) const override {
        const std::size_t end = std::min(text.size(), start + length);
        for (std::size_t i = start; i < end;) {
            const std::size_t at = i;
            const char32_t c = utf16::next(text, i, end);
            out.push_back({static_cast<std::uint32_t>(c), static_cast<std::uint32_t>(at),
                           isCombiningMark(c) ? 0.0 : kAdvance, 0, 0});
        }
    }

    rt::Ref<cg::Path> outline(std::uint32_t glyph, double size) const override {
        const auto& source = monoOutlines();
        if (!source || glyph == '\n' || glyph == '\r' || glyph == 0x2028 || glyph == 0x2029) return nullptr;
        rt::Ref<cg::Path> em = source->emOutline(source->glyphForCodePoint(glyph));
        if (!em) return nullptr;
        // Mono's cell is 0.602 em wide; stretch it to the model's 0.625.
        const double widen = kAdvance / kMonoAdvance;
        return em->copyByTransforming(cg::AffineTransform::identity().scale(size * widen, size));
    }

private:
    std::string name_;
};

class ModelBackend final : public FontBackend {
public:
    const char* name() const override { return "model"; }
    std::shared_ptr<const FontFace> faceNamed(std::string_view name) override {
        std::lock_guard guard(lock_);
        auto& face = faces_[std::string(name)];
        if (!face) face = std::make_shared<ModelFace>(std::string(name));
        return face;
    }

private:
    std::mutex lock_;
    std::map<std::string, std::shared_ptr<const FontFace>, std::less<>> faces_;
};

std::atomic<FontBackend*>& current() {
    static std::atomic<FontBackend*> backend{[]() -> FontBackend* {
        const char* chosen = std::getenv("FT_FONT_BACKEND");
        return chosen && std::string_view(chosen) == "real" ? &realFontBackend() : &modelFontBackend();
    }()};
    return backend;
}

} // namespace

FontBackend& modelFontBackend() {
    static ModelBackend* backend = new ModelBackend; // faces live as long as the process
    return *backend;
}

FontBackend& fontBackend() {
    return *current().load(std::memory_order_acquire);
}

void setFontBackend(FontBackend& backend) {
    current().store(&backend, std::memory_order_release);
}

} // namespace ct
