#include "platform/uikit/image_context.h"

#include <cmath>
#include <vector>

namespace ui {

namespace {

std::vector<rt::Ref<cg::BitmapContext>>& imageContextStack() {
    thread_local std::vector<rt::Ref<cg::BitmapContext>> contexts;
    return contexts;
}

} // namespace

void graphicsBeginImageContext(cg::Size size) {
    constexpr cg::BitmapInfo kNoAlpha = cg::BitmapInfo(cg::ImageAlphaInfo::NoneSkipLast);
    auto context = cg::BitmapContext::create(std::ceil(size.width), std::ceil(size.height), 8, 0,
                                             cg::ColorSpaceModel::RGB, kNoAlpha);
    if (context) {
        // Top left origin, y down.
        context->translateCTM(0, double(context->height()));
        context->scaleCTM(1, -1);
    }
    imageContextStack().push_back(std::move(context));
}

rt::Ref<cg::BitmapContext> graphicsGetCurrentImageContext() {
    return imageContextStack().empty() ? nullptr : imageContextStack().back();
}

rt::Ref<Image> graphicsGetImageFromCurrentImageContext() {
    rt::Ref<cg::BitmapContext> context = graphicsGetCurrentImageContext();
    return context ? Image::imageWithCGImage(context->makeImage()) : nullptr;
}

void graphicsEndImageContext() {
    if (!imageContextStack().empty()) imageContextStack().pop_back();
}

} // namespace ui
