#include "platform/uikit/font.h"

#include <atomic>
#include <cstdio>
#include <functional>

#include "platform/foundation/coder.h"
#include "platform/runtime/class.h"
#include "platform/text/font.h"

namespace ui {

namespace {
constexpr double kDefaultSize = 17;
} // namespace

Font::Font(rt::Ref<ns::String> name, double size)
    : name_(std::move(name)), size_(size), ctFont_(ct::Font::withName(name_->utf8(), size)) {}

// Made only to be decoded: initWithCoder gives the font itself.
Font::Font() : Font(ns::String::make(kSystemFontName), 0) {}

Font::~Font() = default;

const rt::Ref<ct::Font>& Font::ctFont() const {
    return ctFont_;
}

double Font::ascender() const {
    return ctFont_->ascent();
}

double Font::descender() const {
    return -ctFont_->descent();
}

double Font::leading() const {
    return ctFont_->leading();
}

double Font::lineHeight() const {
    return ctFont_->lineHeight();
}

rt::Ref<Font> Font::systemFontOfSize(double size) {
    return fontWithName(kSystemFontName, size);
}

rt::Ref<Font> Font::boldSystemFontOfSize(double size) {
    return fontWithName(kBoldSystemFontName, size);
}

rt::Ref<Font> Font::fontWithName(std::string_view name, double size) {
    if (name.empty() || !(size >= 0)) return nullptr;
    return rt::make<Font>(ns::String::make(name), size == 0 ? kDefaultSize : size);
}

rt::Ref<Font> Font::preferredFontForTextStyle(std::string_view style) {
    if (style == TextStyleHeadline) return boldSystemFontOfSize(17);
    if (style == TextStyleSubheadline) return systemFontOfSize(15);
    if (style == TextStyleFootnote) return systemFontOfSize(13);
    if (style == TextStyleCaption1) return systemFontOfSize(12);
    if (style == TextStyleCaption2) return systemFontOfSize(11);
    return systemFontOfSize(17);
}

namespace {
std::atomic<bool> fontOffersTextStyles{true};
} // namespace

bool Font::offersTextStyles() noexcept {
    return fontOffersTextStyles.load(std::memory_order_relaxed);
}

void Font::setOffersTextStyles(bool offers) noexcept {
    fontOffersTextStyles.store(offers, std::memory_order_relaxed);
}

rt::Ref<Font> Font::fontWithSize(double size) const {
    if (!(size >= 0)) return nullptr;
    return rt::make<Font>(name_, size == 0 ? kDefaultSize : size);
}

std::string Font::description() const {
    const bool bold = name_->utf8() == kBoldSystemFontName;
    char size[48];
    std::snprintf(size, sizeof size, "%.2fpt", size_);
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    return std::string("<UICTFont: ") + address + "> font-family: \"" + name_->utf8() +
           "\"; font-weight: " + (bold ? "bold" : "normal") + "; font-style: normal; font-size: " + size;
}

bool Font::isEqual(const rt::Object* other) const {
    auto* font = dynamic_cast<const Font*>(other);
    return font && font->size_ == size_ && font->name_->utf8() == name_->utf8();
}

std::size_t Font::hash() const {
    return name_->hash() * 31 + std::hash<double>()(size_);
}

RT_DEFINE_CLASS(Font, "UIFont", rt::Object, rt::prop("fontName", &Font::fontName),
                rt::prop("pointSize", &Font::pointSize), ns::adoptsCoding())

void Font::encodeWithCoder(ns::Coder& coder) const {
    coder.encodeObject(name_, "UIFontName");
    coder.encodeDouble(size_, "UIFontPointSize");
}

rt::Id Font::initWithCoder(ns::Coder& coder) {
    auto name = coder.decodeObjectOfClass<ns::String>("UIFontName");
    if (!name) return nullptr;
    return fontWithName(name->utf8(), coder.decodeDouble("UIFontPointSize"));
}

} // namespace ui
