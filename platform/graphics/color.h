#pragma once
// cg::Color ("CGColor"): an immutable RGBA colour, each component held to 0...1. Drawing states
// and recorded draws hold it; ui::Color hands one out with cgColor().

#include <string>

#include "platform/foundation/coding.h"
#include "platform/runtime/object.h"

namespace cg {

class Color final : public rt::Object, public ns::Coding {
    RT_CLASS(Color)
public:
    static rt::Ref<Color> make(double red, double green, double blue, double alpha = 1);
    static rt::Ref<Color> gray(double white, double alpha = 1) { return make(white, white, white, alpha); }
    // Shared instances.
    static const rt::Ref<Color>& black();
    static const rt::Ref<Color>& white();
    static const rt::Ref<Color>& clear();

    double red() const noexcept { return r_; }
    double green() const noexcept { return g_; }
    double blue() const noexcept { return b_; }
    double alpha() const noexcept { return a_; }

    std::string description() const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;
    // Archived as its four components ("UIRed", "UIGreen", "UIBlue", "UIAlpha"), as ui::Color is.
    void encodeWithCoder(ns::Coder& coder) const override;
    rt::Id initWithCoder(ns::Coder& coder) override;

private:
    Color() : Color(0, 0, 0, 1) {}
    Color(double r, double g, double b, double a);
    double r_, g_, b_, a_;
};

} // namespace cg

namespace cg {

// A colour value of a higher layer (ui::Color) that the drawing and text code can read.
class ColorSource {
public:
    virtual rt::Ref<Color> cgColor() const = 0;

protected:
    ~ColorSource() = default;
};

// The cg::Color of a colour attribute value: a cg::Color, or a ColorSource; nil for anything else.
rt::Ref<Color> colorFromValue(const rt::Object* value);

} // namespace cg
