#include "platform/text/font.h"

#include <cmath>
#include <functional>
#include <map>
#include <mutex>

#include "platform/graphics/geometry.h"
#include "platform/runtime/class.h"
#include "platform/text/font_backend.h"

namespace ct {

rt::Ref<Font> Font::withName(std::string_view name, double size) {
    if (!(size > 0) || !std::isfinite(size)) size = kDefaultSize;
    return rt::make<Font>(std::string(name), size, fontBackend().faceNamed(name));
}

const rt::Ref<Font>& Font::defaultFont() {
    // One per backend (tests and benchmarks change it); entries of a map stay where they are.
    static std::mutex lock;
    static auto* fonts = new std::map<const FontBackend*, rt::Ref<Font>>;
    std::lock_guard guard(lock);
    rt::Ref<Font>& font = (*fonts)[&fontBackend()];
    if (!font) font = rt::immortal(systemFont(kDefaultSize));
    return font;
}

const std::string& Font::postScriptName() const {
    return face_->postScriptName();
}

double Font::ascent() const {
    return face_->metrics().ascent * size_;
}

double Font::descent() const {
    return face_->metrics().descent * size_;
}

double Font::leading() const {
    return face_->metrics().leading * size_;
}

double Font::underlinePosition() const {
    return face_->metrics().underlinePosition * size_;
}

double Font::underlineThickness() const {
    return face_->metrics().underlineThickness * size_;
}

rt::Ref<cg::Path> Font::pathForGlyph(std::uint32_t glyph) const {
    return face_->outline(glyph, size_);
}

std::string Font::description() const {
    return "<CTFont " + postScriptName() + " " + cg::detail::shortestNumber(size_) + "pt>";
}

bool Font::isEqual(const rt::Object* other) const {
    auto* font = dynamic_cast<const Font*>(other);
    return font && font->size_ == size_ && font->face_ == face_;
}

std::size_t Font::hash() const {
    return std::hash<const void*>()(face_.get()) * 31 + std::hash<double>()(size_);
}

RT_DEFINE_CLASS(Font, "CTFont", cg::Font)

} // namespace ct
