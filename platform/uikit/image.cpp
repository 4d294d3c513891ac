#include "platform/uikit/image.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "platform/foundation/bundle.h"
#include "platform/runtime/class.h"

namespace ui {

namespace {

struct Registry {
    std::mutex lock;
    std::map<std::string, cg::Size, std::less<>> sizes;
};

Registry& registry() {
    static Registry r;
    return r;
}

bool inBundle(std::string_view name) {
    rt::Ref<ns::Bundle> bundle = ns::Bundle::mainBundle();
    if (!bundle) return false;
    const std::string plain(name);
    return bundle->pathForResourceOfType(plain, "png") || bundle->pathForResourceOfType(plain + "@2x", "png") ||
           bundle->pathForResourceOfType(plain, "jpg");
}

} // namespace

rt::Ref<Image> Image::imageNamed(std::string_view name) {
    if (name.empty()) return nullptr;
    cg::Size size;
    bool found = false;
    {
        Registry& r = registry();
        std::lock_guard g(r.lock);
        if (auto it = r.sizes.find(name); it != r.sizes.end()) {
            size = it->second;
            found = true;
        }
    }
    if (!found && !inBundle(name)) return nullptr;
    return rt::make<Image>(ns::String::make(name), size, 1.0);
}

void Image::registerImageNamed(std::string_view name, cg::Size size) {
    Registry& r = registry();
    std::lock_guard g(r.lock);
    r.sizes.insert_or_assign(std::string(name), size);
}

void Image::removeRegisteredImages() {
    Registry& r = registry();
    std::lock_guard g(r.lock);
    r.sizes.clear();
}

rt::Ref<Image> Image::imageWithSize(cg::Size size, double scale) {
    return rt::make<Image>(nullptr, size, scale);
}

Image::Image(rt::Ref<cg::Image> bitmap, double scale, ImageOrientation orientation)
    : scale_(std::isfinite(scale) && scale > 0 ? scale : 1), bitmap_(std::move(bitmap)),
      orientation_(orientation >= ImageOrientation::Up && orientation <= ImageOrientation::RightMirrored
                       ? orientation
                       : ImageOrientation::Up) {
    const double width = double(bitmap_->width()) / scale_, height = double(bitmap_->height()) / scale_;
    size_ = isQuarterTurned(orientation_) ? cg::Size{height, width} : cg::Size{width, height};
}

rt::Ref<Image> Image::imageWithCGImage(const rt::Ref<cg::Image>& image) {
    return imageWithCGImage(image, 1, ImageOrientation::Up);
}

rt::Ref<Image> Image::imageWithCGImage(const rt::Ref<cg::Image>& image, double scale, ImageOrientation orientation) {
    return image ? rt::make<Image>(image, scale, orientation) : nullptr;
}

std::string Image::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%p", static_cast<const void*>(this));
    std::string text = std::string("<UIImage: ") + address + ">";
    if (name_) text += " named(" + name_->utf8() + ")";
    return text + ", " + cg::stringFromSize(size_);
}

RT_DEFINE_CLASS(Image, "UIImage", rt::Object, rt::prop("size", &Image::size), rt::prop("scale", &Image::scale),
                rt::prop("CGImage", &Image::CGImage), rt::prop("imageOrientation", &Image::imageOrientation),
                rt::classMethod("imageNamed:", +[](rt::Ref<ns::String> name) {
                    return name ? Image::imageNamed(name->utf8()) : nullptr;
                }),
                rt::classMethod("imageWithCGImage:", +[](rt::Ref<cg::Image> image) {
                    return Image::imageWithCGImage(image);
                }),
                rt::classMethod("imageWithCGImage:scale:orientation:",
                                +[](rt::Ref<cg::Image> image, double scale, ImageOrientation orientation) {
                                    return Image::imageWithCGImage(image, scale, orientation);
                                }))

} // namespace ui
