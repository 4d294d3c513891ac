#include "platform/uikit/color.h"

#include <algorithm>
#include <functional>

#include "platform/foundation/coder.h"
#include "platform/graphics/geometry.h"
#include "platform/runtime/class.h"
#include "platform/uikit/graphics_context.h"

namespace ui {

namespace {

double clamped(double v) {
    return v != v ? 0 : std::clamp(v, 0.0, 1.0) + 0.0; // no negative zero
}

// One shared instance per named colour.
template <int R, int G, int B, int A, int Denominator = 1>
const rt::Ref<Color>& named() {
    static const rt::Ref<Color> colour = rt::immortal(Color::colorWithRed(
        double(R) / Denominator, double(G) / Denominator, double(B) / Denominator, double(A) / Denominator));
    return colour;
}

} // namespace

Color::Color(double red, double green, double blue, double alpha)
    : red_(clamped(red)), green_(clamped(green)), blue_(clamped(blue)), alpha_(clamped(alpha)) {}

rt::Ref<Color> Color::colorWithRed(double red, double green, double blue, double alpha) {
    return rt::make<Color>(red, green, blue, alpha);
}

rt::Ref<Color> Color::colorWithWhite(double white, double alpha) {
    return rt::make<Color>(white, white, white, alpha);
}

rt::Ref<Color> Color::blackColor() { return named<0, 0, 0, 1>(); }
rt::Ref<Color> Color::darkGrayColor() { return named<1, 1, 1, 3, 3>(); }
rt::Ref<Color> Color::lightGrayColor() { return named<2, 2, 2, 3, 3>(); }
rt::Ref<Color> Color::whiteColor() { return named<1, 1, 1, 1>(); }
rt::Ref<Color> Color::grayColor() { return named<1, 1, 1, 2, 2>(); }
rt::Ref<Color> Color::redColor() { return named<1, 0, 0, 1>(); }
rt::Ref<Color> Color::greenColor() { return named<0, 1, 0, 1>(); }
rt::Ref<Color> Color::blueColor() { return named<0, 0, 1, 1>(); }
rt::Ref<Color> Color::cyanColor() { return named<0, 1, 1, 1>(); }
rt::Ref<Color> Color::yellowColor() { return named<1, 1, 0, 1>(); }
rt::Ref<Color> Color::magentaColor() { return named<1, 0, 1, 1>(); }
rt::Ref<Color> Color::orangeColor() { return named<2, 1, 0, 2, 2>(); }
rt::Ref<Color> Color::purpleColor() { return named<1, 0, 1, 2, 2>(); }
rt::Ref<Color> Color::brownColor() { return named<3, 2, 1, 5, 5>(); }
rt::Ref<Color> Color::clearColor() { return named<0, 0, 0, 0>(); }
rt::Ref<Color> Color::darkTextColor() { return blackColor(); }
rt::Ref<Color> Color::lightTextColor() { return named<5, 5, 5, 3, 5>(); }
rt::Ref<Color> Color::systemBlueColor() { return named<0, 122, 255, 255, 255>(); }

rt::Ref<Color> Color::colorWithAlphaComponent(double alpha) const {
    return colorWithRed(red_, green_, blue_, alpha);
}

rt::Ref<cg::Color> Color::cgColor() const {
    return cg::Color::make(red_, green_, blue_, alpha_);
}

void Color::set() const {
    setFill();
    setStroke();
}

void Color::setFill() const {
    if (cg::Context* context = graphicsGetCurrentContext()) context->setFillColor(cgColor());
}

void Color::setStroke() const {
    if (cg::Context* context = graphicsGetCurrentContext()) context->setStrokeColor(cgColor());
}

std::string Color::description() const {
    using cg::detail::shortestNumber;
    return "UIExtendedSRGBColorSpace " + shortestNumber(red_) + " " + shortestNumber(green_) + " " +
           shortestNumber(blue_) + " " + shortestNumber(alpha_);
}

bool Color::isEqual(const rt::Object* other) const {
    auto* colour = dynamic_cast<const Color*>(other);
    return colour && colour->red_ == red_ && colour->green_ == green_ && colour->blue_ == blue_ &&
           colour->alpha_ == alpha_;
}

std::size_t Color::hash() const {
    std::size_t h = 0;
    for (double v : {red_, green_, blue_, alpha_})
        h = h * 31 + std::hash<double>()(v);
    return h;
}

RT_DEFINE_CLASS(Color, "UIColor", rt::Object, ns::adoptsCoding())

void Color::encodeWithCoder(ns::Coder& coder) const {
    coder.encodeDouble(red_, "UIRed");
    coder.encodeDouble(green_, "UIGreen");
    coder.encodeDouble(blue_, "UIBlue");
    coder.encodeDouble(alpha_, "UIAlpha");
}

rt::Id Color::initWithCoder(ns::Coder& coder) {
    return colorWithRed(coder.decodeDouble("UIRed"), coder.decodeDouble("UIGreen"), coder.decodeDouble("UIBlue"),
                        coder.decodeDouble("UIAlpha"));
}

} // namespace ui
