#pragma once
// ui::Color ("UIColor"): an immutable colour value, red, green, blue and alpha from 0 to 1. Two
// colours are equal when their components are; the named colours are shared instances.

#include <string>

#include "platform/foundation/coding.h"
#include "platform/graphics/color.h"
#include "platform/runtime/object.h"

namespace ui {

class Color final : public rt::Object, public cg::ColorSource, public ns::Coding {
    RT_CLASS(Color)
public:
    // Components outside 0...1 are held to that range.
    static rt::Ref<Color> colorWithRed(double red, double green, double blue, double alpha);
    static rt::Ref<Color> colorWithWhite(double white, double alpha);

    // The platform's named colours.
    static rt::Ref<Color> blackColor();
    static rt::Ref<Color> darkGrayColor(); // white 1/3
    static rt::Ref<Color> lightGrayColor(); // white 2/3
    static rt::Ref<Color> whiteColor();
    static rt::Ref<Color> grayColor(); // white 1/2
    static rt::Ref<Color> redColor();
    static rt::Ref<Color> greenColor();
    static rt::Ref<Color> blueColor();
    static rt::Ref<Color> cyanColor();
    static rt::Ref<Color> yellowColor();
    static rt::Ref<Color> magentaColor();
    static rt::Ref<Color> orangeColor(); // 1, 0.5, 0
    static rt::Ref<Color> purpleColor(); // 0.5, 0, 0.5
    static rt::Ref<Color> brownColor();  // 0.6, 0.4, 0.2
    static rt::Ref<Color> clearColor();  // black with alpha 0
    static rt::Ref<Color> darkTextColor(); // black
    static rt::Ref<Color> lightTextColor(); // white with alpha 0.6
    // The platform's blue of tints, buttons' titles and links: 0, 122/255, 1.
    static rt::Ref<Color> systemBlueColor();

    double red() const noexcept { return red_; }
    double green() const noexcept { return green_; }
    double blue() const noexcept { return blue_; }
    double alpha() const noexcept { return alpha_; }
    // The same colour with another alpha.
    rt::Ref<Color> colorWithAlphaComponent(double alpha) const;
    rt::Ref<cg::Color> cgColor() const override;
    // Makes the colour the current context's fill and stroke colour (setFill, setStroke: one of
    // them); nothing without a current context.
    void set() const;
    void setFill() const;
    void setStroke() const;

    // "UIExtendedSRGBColorSpace 1 0 0 1".
    std::string description() const override;
    bool isEqual(const rt::Object* other) const override;
    std::size_t hash() const override;
    // Archived as its four components.
    void encodeWithCoder(ns::Coder& coder) const override;
    rt::Id initWithCoder(ns::Coder& coder) override;

private:
    Color() : Color(0, 0, 0, 1) {}
    Color(double red, double green, double blue, double alpha);

    double red_, green_, blue_, alpha_;
};

} // namespace ui
