#include "platform/graphics/color.h"

#include <algorithm>
#include <functional>

#include "platform/foundation/coder.h"
#include "platform/graphics/geometry.h"
#include "platform/runtime/class.h"

namespace cg {

namespace {
double held(double v) {
    return v != v ? 0 : std::clamp(v, 0.0, 1.0) + 0.0;
}
} // namespace

Color::Color(double r, double g, double b, double a) : r_(held(r)), g_(held(g)), b_(held(b)), a_(held(a)) {}

rt::Ref<Color> Color::make(double red, double green, double blue, double alpha) {
    return rt::make<Color>(red, green, blue, alpha);
}

const rt::Ref<Color>& Color::black() {
    static const rt::Ref<Color> c = rt::immortal(make(0, 0, 0, 1));
    return c;
}

const rt::Ref<Color>& Color::white() {
    static const rt::Ref<Color> c = rt::immortal(make(1, 1, 1, 1));
    return c;
}

const rt::Ref<Color>& Color::clear() {
    static const rt::Ref<Color> c = rt::immortal(make(0, 0, 0, 0));
    return c;
}

std::string Color::description() const {
    using detail::shortestNumber;
    return "<CGColor> [" + shortestNumber(r_) + " " + shortestNumber(g_) + " " + shortestNumber(b_) + " " +
           shortestNumber(a_) + "]";
}

bool Color::isEqual(const rt::Object* other) const {
    auto* c = dynamic_cast<const Color*>(other);
    return c && c->r_ == r_ && c->g_ == g_ && c->b_ == b_ && c->a_ == a_;
}

std::size_t Color::hash() const {
    std::size_t h = 0;
    for (double v : {r_, g_, b_, a_})
        h = h * 31 + std::hash<double>()(v);
    return h;
}

RT_DEFINE_CLASS(Color, "CGColor", rt::Object, ns::adoptsCoding())

void Color::encodeWithCoder(ns::Coder& coder) const {
    coder.encodeDouble(r_, "UIRed");
    coder.encodeDouble(g_, "UIGreen");
    coder.encodeDouble(b_, "UIBlue");
    coder.encodeDouble(a_, "UIAlpha");
}

rt::Id Color::initWithCoder(ns::Coder& coder) {
    return make(coder.decodeDouble("UIRed"), coder.decodeDouble("UIGreen"), coder.decodeDouble("UIBlue"),
                coder.decodeDouble("UIAlpha"));
}

} // namespace cg

namespace cg {

rt::Ref<Color> colorFromValue(const rt::Object* value) {
    if (auto* c = dynamic_cast<const Color*>(value)) return rt::retained(c);
    if (auto* source = dynamic_cast<const ColorSource*>(value)) return source->cgColor();
    return nullptr;
}

} // namespace cg
