#include "platform/uikit/image.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/bundle.h"
#include "platform/graphics/context.h"
#include "platform/graphics/jpeg.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/uikit/graphics_context.h"
#include "platform/uikit/screen.h"

namespace ui {

namespace {

struct Registry {
    std::mutex lock;
    std::map<std::string, cg::Size, std::less<>> sizes;
    // The images read from the bundle (nil for a file that could not be read), for one bundle
    // and screen scale; another bundle or scale starts it over. Cached images never die: a view
    // may still show one after the cache started over.
    std::string bundle;
    double scale = 0;
    std::map<std::string, rt::Ref<Image>, std::less<>> files;
    // The images of a cache that started over, still held: they never die, so something must
    // keep them or they would be memory no one can reach.
    std::vector<rt::Ref<Image>> former;
};

Registry& registry() {
    static Registry* shared = new Registry; // immortal: images are asked for until the process ends
    return *shared;
}

} // namespace

Image::Image(rt::Ref<ns::String> name, rt::Ref<cg::Image> bitmap, double scale)
    : name_(std::move(name)), scale_(scale), bitmap_(std::move(bitmap)) {
    size_ = {double(bitmap_->width()) / scale_, double(bitmap_->height()) / scale_};
}

rt::Ref<Image> Image::imageNamed(std::string_view name) {
    if (name.empty()) return nullptr;
    rt::Ref<ns::Bundle> bundle = ns::Bundle::mainBundle();
    const std::string_view root = bundle ? std::string_view(bundle->bundlePath()) : std::string_view();
    const double scale = Screen::mainScreen()->scale();
    Registry& r = registry();
    std::unique_lock g(r.lock);
    if (auto it = r.sizes.find(name); it != r.sizes.end())
        return rt::make<Image>(ns::String::make(name), it->second, 1.0);
    if (r.bundle != root || r.scale != scale) {
        for (auto& [file, image] : r.files)
            if (image) r.former.push_back(std::move(image));
        r.files.clear();
        r.bundle = std::string(root);
        r.scale = scale;
    }
    if (auto it = r.files.find(name); it != r.files.end()) return it->second;
    g.unlock();
    // Read outside the lock; a second reader of the same name keeps the first one's image.
    rt::Ref<Image> image;
    const std::string plain(name), doubled = plain + "@2x";
    for (const std::string& file : scale >= 2 ? std::vector{doubled, plain} : std::vector{plain, doubled}) {
        rt::Ref<ns::String> path = bundle ? bundle->pathForResourceOfType(file, "png") : nullptr;
        if (!path) continue;
        std::string why;
        if (rt::Ref<cg::Image> bitmap = cg::Image::createWithPNGFile(path->utf8(), &why))
            // Kept for the process with what it holds.
            image = rt::immortal(rt::make<Image>(rt::immortal(ns::String::make(name)), rt::immortal(bitmap),
                                                 file == doubled ? 2.0 : 1.0));
        else
            ns::logLine("Could not load the image \"" + plain + "\" from " + path->utf8() + ": " + why);
        break;
    }
    g.lock();
    if (r.bundle != root || r.scale != scale) {
        if (image) r.former.push_back(image);
        return image;
    }
    return r.files.try_emplace(std::string(name), image).first->second;
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

void Image::drawInRect(const cg::Rect& rect) const {
    cg::Context* context = graphicsGetCurrentContext();
    if (!context) return;
    if (!bitmap_) {
        context->drawImage(rect, rt::retained(this));
        return;
    }
    // A bitmap's top row lands at the rectangle's larger y: flip about the rectangle.
    context->saveGState();
    context->translateCTM(0, rect.minY() + rect.maxY());
    context->scaleCTM(1, -1);
    context->drawImage(rect, bitmap_);
    context->restoreGState();
}

rt::Ref<Image> Image::imageWithData(const rt::Ref<ns::Data>& data) {
    if (!data || !data->length()) return nullptr;
    std::string why;
    auto bitmap = cg::createWithJPEGData(data->bytes(), data->length(), &why);
    if (!bitmap) {
        ns::logLine("-[UIImage initWithData:] " + why);
        return nullptr;
    }
    return imageWithCGImage(bitmap);
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

rt::Ref<Image> Image::imageWithRenderingMode(ImageRenderingMode mode) const {
    if (mode == renderingMode_) return rt::retained(this);
    auto image = rt::make<Image>(name_, size_, scale_);
    image->bitmap_ = bitmap_;
    image->orientation_ = orientation_;
    image->renderingMode_ = mode;
    return image;
}

RT_DEFINE_CLASS(Image, "UIImage", rt::Object, rt::prop("size", &Image::size), rt::prop("scale", &Image::scale),
                rt::prop("CGImage", &Image::CGImage), rt::prop("imageOrientation", &Image::imageOrientation),
                rt::prop("renderingMode", &Image::renderingMode),
                rt::method("imageWithRenderingMode:", &Image::imageWithRenderingMode),
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
