// Glyph outlines through FreeType and font files through fontconfig, for both backends.

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <unordered_map>

#include "platform/text/font_backend.h"

namespace ct::detail {

namespace {

// One library for the process; FreeType's library calls that make or drop faces are guarded by
// this lock, each face by its own.
struct Library {
    std::mutex lock;
    FT_Library library = nullptr;
    Library() { FT_Init_FreeType(&library); }
};

Library& library() {
    static Library* shared = new Library; // used until the process ends
    return *shared;
}

struct Decomposer {
    cg::MutablePath* path;
    double scale;
    cg::Point point(const FT_Vector* v) const { return {v->x * scale, v->y * scale}; }
};

int moveTo(const FT_Vector* to, void* user) {
    auto* d = static_cast<Decomposer*>(user);
    if (!d->path->isEmpty()) d->path->closeSubpath();
    d->path->moveTo(d->point(to));
    return 0;
}

int lineTo(const FT_Vector* to, void* user) {
    auto* d = static_cast<Decomposer*>(user);
    d->path->addLineTo(d->point(to));
    return 0;
}

int conicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto* d = static_cast<Decomposer*>(user);
    d->path->addQuadCurveTo(d->point(control), d->point(to));
    return 0;
}

int cubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    auto* d = static_cast<Decomposer*>(user);
    d->path->addCurveTo(d->point(c1), d->point(c2), d->point(to));
    return 0;
}

} // namespace

struct OutlineSource::State {
    std::string file;
    FT_Face face = nullptr;
    mutable std::mutex lock;
    mutable std::unordered_map<std::uint32_t, rt::Ref<cg::Path>> cache;
};

OutlineSource::OutlineSource(std::unique_ptr<State> state) : state_(std::move(state)) {}

OutlineSource::~OutlineSource() {
    std::lock_guard guard(library().lock);
    FT_Done_Face(state_->face);
}

std::shared_ptr<OutlineSource> OutlineSource::open(const std::string& file) {
    if (file.empty()) return nullptr;
    auto state = std::make_unique<State>();
    state->file = file;
    {
        std::lock_guard guard(library().lock);
        if (!library().library || FT_New_Face(library().library, file.c_str(), 0, &state->face) != 0) return nullptr;
    }
    return std::make_shared<OutlineSource>(std::move(state));
}

std::uint32_t OutlineSource::glyphForCodePoint(char32_t c) const {
    std::lock_guard guard(state_->lock);
    return FT_Get_Char_Index(state_->face, c);
}

double OutlineSource::unitsPerEm() const noexcept {
    return state_->face->units_per_EM ? state_->face->units_per_EM : 1000;
}

rt::Ref<cg::Path> OutlineSource::emOutline(std::uint32_t glyph) const {
    std::lock_guard guard(state_->lock);
    if (auto found = state_->cache.find(glyph); found != state_->cache.end()) return found->second;
    rt::Ref<cg::Path> result;
    if (FT_Load_Glyph(state_->face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0 &&
        state_->face->glyph->format == FT_GLYPH_FORMAT_OUTLINE && state_->face->glyph->outline.n_points > 0) {
        auto path = cg::MutablePath::make();
        Decomposer d{path.get(), 1.0 / unitsPerEm()};
        FT_Outline_Funcs funcs{moveTo, lineTo, conicTo, cubicTo, 0, 0};
        FT_Outline_Decompose(&state_->face->glyph->outline, &funcs, &d);
        path->closeSubpath();
        result = rt::immortal(rt::Ref<cg::Path>(path));
    }
    state_->cache.emplace(glyph, result);
    return result;
}

void* OutlineSource::face() const noexcept {
    return state_->face;
}

std::mutex& OutlineSource::lock() const noexcept {
    return state_->lock;
}

const std::string& OutlineSource::file() const noexcept {
    return state_->file;
}

std::string findFontFile(const std::string& family) {
    static std::mutex lock; // fontconfig's configuration is loaded once, then matched under this lock
    std::lock_guard guard(lock);
    if (!FcInit()) return {};
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family.c_str()));
    if (!pattern) return {};
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    std::string file;
    FcChar8* name = nullptr;
    if (match && FcPatternGetString(match, FC_FILE, 0, &name) == FcResultMatch) file = reinterpret_cast<char*>(name);
    if (match) FcPatternDestroy(match);
    FcPatternDestroy(pattern);
    return file;
}

} // namespace ct::detail
