#include "platform/graphics/layer.h"

#include <algorithm>
#include <cmath>

#include "platform/runtime/class.h"

namespace ca {

namespace {

double layerLength(double value) {
    return std::isfinite(value) && value > 0 ? value : 0;
}

} // namespace

Layer::Layer() : borderColor_(cg::Color::black()) {}

void Layer::setCornerRadius(double radius) {
    cornerRadius_ = layerLength(radius);
}

void Layer::setBorderWidth(double width) {
    borderWidth_ = layerLength(width);
}

void Layer::addSublayer(const rt::Ref<Layer>& layer) {
    insertSublayerAtIndex(layer, sublayers_.size());
}

void Layer::insertSublayerAtIndex(const rt::Ref<Layer>& layer, std::size_t index) {
    if (!layer) return;
    for (const Layer* up = this; up; up = up->superlayer_.lock().get())
        if (up == layer.get()) return;
    rt::Ref<Layer> keep = layer;
    layer->removeFromSuperlayer();
    sublayers_.insert(sublayers_.begin() + std::ptrdiff_t(std::min(index, sublayers_.size())), keep);
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
    const cg::Rect own = cg::Rect::make(0, 0, frame_.width(), frame_.height());
    fillBackground(context, own, background_);
    drawInContext(context);
    for (const rt::Ref<Layer>& layer : sublayers_) layer->renderInContext(context);
    strokeBorder(context, own);
    context.restoreGState();
}

void Layer::fillBackground(cg::Context& context, const cg::Rect& rect, const rt::Ref<cg::Color>& color) const {
    if (!color) return;
    context.setFillColor(color);
    if (cornerRadius_ > 0) {
        auto outline = cg::MutablePath::make();
        outline->addRoundedRect(rect, cornerRadius_);
        context.addPath(*outline);
        context.fillPath();
    } else {
        context.fillRect(rect);
    }
}

void Layer::strokeBorder(cg::Context& context, const cg::Rect& rect) const {
    if (!(borderWidth_ > 0) || !borderColor_) return;
    // Drawn inside the outline: the stroke's centre line runs half a width in.
    const double half = borderWidth_ / 2;
    auto line = cg::MutablePath::make();
    line->addRoundedRect(rect.insetBy(half, half), std::max(0.0, cornerRadius_ - half));
    context.saveGState();
    context.setStrokeColor(borderColor_);
    context.setLineWidth(borderWidth_);
    context.setLineDash(0, {});
    context.addPath(*line);
    context.strokePath();
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
        context.saveGState();
        context.setStrokeColor(stroke_);
        context.setLineWidth(lineWidth_);
        context.setLineJoin(lineJoin_);
        context.setLineDash(dashPhase_, dash_);
        context.addPath(*path_);
        context.strokePath();
        context.restoreGState();
    }
}

RT_DEFINE_CLASS(Layer, "CALayer", rt::Object,
                rt::prop("masksToBounds", &Layer::masksToBounds, &Layer::setMasksToBounds))
RT_DEFINE_CLASS(ShapeLayer, "CAShapeLayer", Layer)

} // namespace ca
