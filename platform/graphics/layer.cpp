#include "platform/graphics/layer.h"

#include <algorithm>

#include "platform/runtime/class.h"

namespace ca {

void Layer::addSublayer(const rt::Ref<Layer>& layer) {
    if (!layer) return;
    for (const Layer* up = this; up; up = up->superlayer_.lock().get())
        if (up == layer.get()) return;
    rt::Ref<Layer> keep = layer;
    layer->removeFromSuperlayer();
    sublayers_.push_back(keep);
    keep->superlayer_ = rt::retained(this);
}

void Layer::removeFromSuperlayer() {
    rt::Ref<Layer> parent = superlayer_.lock();
    superlayer_ = nullptr;
    if (!parent) return;
    auto& list = parent->sublayers_;
    list.erase(std::remove(list.begin(), list.end(), rt::Ref<Layer>(rt::retained(this))), list.end());
}

void Layer::renderInContext(cg::Context& context) const {
    if (hidden_) return;
    context.saveGState();
    context.translateCTM(frame_.minX(), frame_.minY());
    if (background_) {
        context.setFillColor(background_);
        context.fillRect(cg::Rect::make(0, 0, frame_.width(), frame_.height()));
    }
    drawInContext(context);
    for (const rt::Ref<Layer>& layer : sublayers_) layer->renderInContext(context);
    context.restoreGState();
}

void ShapeLayer::drawInContext(cg::Context& context) const {
    if (!path_ || path_->isEmpty()) return;
    if (fill_) {
        context.setFillColor(fill_);
        context.addPath(*path_);
        context.fillPath();
    }
    if (stroke_ && lineWidth_ > 0) {
        context.setStrokeColor(stroke_);
        context.setLineWidth(lineWidth_);
        context.addPath(*path_);
        context.strokePath();
    }
}

RT_DEFINE_CLASS(Layer, "CALayer", rt::Object)
RT_DEFINE_CLASS(ShapeLayer, "CAShapeLayer", Layer)

} // namespace ca
