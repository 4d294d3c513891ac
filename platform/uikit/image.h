#pragma once
// ui::Image ("UIImage"): for now an image is its name and size. imageNamed finds a name registered
// from code, or an image file of that name in the main bundle; any other name gives nil.

#include <string_view>

#include "platform/foundation/string.h"
#include "platform/graphics/geometry.h"
#include "platform/runtime/object.h"

namespace ui {

class Image final : public rt::Object {
    RT_CLASS(Image)
public:
    // A new image of that name: registered ones with their size, bundle files ("<name>.png",
    // "<name>@2x.png", "<name>.jpg") with size zero; nil for an empty or unknown name.
    static rt::Ref<Image> imageNamed(std::string_view name);
    // Registers a name (its size in points) for imageNamed; registering again replaces the size.
    static void registerImageNamed(std::string_view name, cg::Size size);
    // Forgets every registered name (the harness, between tests).
    static void removeRegisteredImages();
    // An image that has no name (drawn in code).
    static rt::Ref<Image> imageWithSize(cg::Size size, double scale = 1);

    // Nil for an image made in code.
    const rt::Ref<ns::String>& name() const noexcept { return name_; }
    cg::Size size() const noexcept { return size_; }
    double scale() const noexcept { return scale_; }

    // "<UIImage: 0x...>, {w, h}" with the name when it has one.
    std::string description() const override;

private:
    Image(rt::Ref<ns::String> name, cg::Size size, double scale)
        : name_(std::move(name)), size_(size), scale_(scale) {}

    rt::Ref<ns::String> name_;
    cg::Size size_;
    double scale_;
};

} // namespace ui
