#include "ui/forms/elements/badge_element.h"

#include <limits>
#include <numbers>

#include "platform/foundation/attributed_string.h"
#include "platform/graphics/context.h"
#include "platform/runtime/class.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/graphics_context.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/string_drawing.h"

namespace fm {

// ---- fm::BadgeElement ---------------------------------------------------------------------------

BadgeElement::BadgeElement() : badgeTextColor_(ui::Color::whiteColor()) {}

BadgeElement::BadgeElement(rt::Ref<ns::String> title, rt::Ref<ns::String> badge) : BadgeElement() {
    setTitle(std::move(title));
    badge_ = std::move(badge);
}

BadgeElement::~BadgeElement() = default;

rt::Ref<ui::TableViewCell> BadgeElement::getCellForTableView(const rt::Ref<ui::TableView>&,
                                                             const rt::Ref<ui::ViewController>&) {
    auto cell = rt::make<BadgeTableCell>();
    cell->textLabel()->setText(title());
    cell->applyAppearanceForElement(rt::retained(this));
    const rt::Ref<BadgeLabel>& label = cell->badgeLabel();
    label->setTextColor(badgeTextColor_);
    label->setBadgeColor(badgeColor_ ? badgeColor_ : cell->tintColor());
    label->setText(badge_);
    cell->imageView()->setImage(image());
    const bool opens = elementOpensSomething(*this);
    cell->setAccessoryType(opens ? ui::TableViewCellAccessoryType::DisclosureIndicator
                                 : ui::TableViewCellAccessoryType::None);
    cell->setSelectionStyle(opens ? ui::TableViewCellSelectionStyle::Blue : ui::TableViewCellSelectionStyle::None);
    return cell;
}

// ---- fm::BadgeLabel -----------------------------------------------------------------------------

BadgeLabel::BadgeLabel() {
    setFrame(cg::Rect::make(0, 0, 100, 20));
    setTextColor(ui::Color::whiteColor());
    setBackgroundColor(ui::Color::clearColor());
    badgeColor_ = ui::Color::colorWithRed(0.53f, 0.6f, 0.738f, 1);
    setFont(ui::Font::boldSystemFontOfSize(14));
    setTextAlignment(ui::TextAlignment::Center);
    setClipsToBounds(false);
}

BadgeLabel::~BadgeLabel() = default;

void BadgeLabel::setBadgeColor(rt::Ref<ui::Color> color) {
    badgeColor_ = std::move(color);
    setNeedsDisplay();
}

void BadgeLabel::setFrame(const cg::Rect& frame) {
    const double h = frame.height();
    View::setFrame(cg::Rect::make(frame.minX() - h / 3, frame.minY(), frame.width() + 2 * h / 3, h));
}

void BadgeLabel::drawRect(const cg::Rect& rect) {
    if (cg::Context* context = ui::graphicsGetCurrentContext(); context && badgeColor_) {
        const cg::Rect box = bounds();
        const double r = box.height() / 2;
        constexpr double pi = std::numbers::pi;
        context->saveGState();
        context->setFillColor(badgeColor_->cgColor());
        context->beginPath();
        context->addArc(box.minX() + r, box.minY() + r, r, pi / 2, 3 * pi / 2, 0);
        context->addArc(box.maxX() - r, box.minY() + r, r, 3 * pi / 2, pi / 2, 0);
        context->closePath();
        context->fillPath();
        context->restoreGState();
    }
    drawTextInRect(rect);
}

// ---- fm::BadgeTableCell -------------------------------------------------------------------------

BadgeTableCell::BadgeTableCell() : TableViewCell(ns::String::make("FMFormBadgeElement")) {
    badgeLabel_ = rt::make<BadgeLabel>();
    contentView()->addSubview(badgeLabel_);
    badgeLabel_->setAutoresizingMask(ui::ViewAutoresizing::FlexibleWidth | ui::ViewAutoresizing::FlexibleHeight);
    badgeLabel_->setContentMode(ui::ViewContentMode::Redraw);
    setSelectionStyle(ui::TableViewCellSelectionStyle::None);
}

BadgeTableCell::~BadgeTableCell() = default;

void BadgeTableCell::layoutSubviews() {
    TableViewCell::layoutSubviews();
    const cg::Rect content = contentView()->frame();
    constexpr double unlimited = std::numeric_limits<double>::max();
    const cg::Size text = ui::sizeOfString(badgeLabel_->text(), badgeLabel_->font(), {unlimited, unlimited},
                                           ui::LineBreakMode::Clipping);
    badgeLabel_->setFrame(cg::Rect::make(content.width() - text.width - 10, (content.height() - text.height) / 2 + 1,
                                         text.width, text.height)
                              .integral());
    const rt::Ref<ui::Label> title = textLabel();
    if (text.width + 40 + title->frame().width() > contentView()->bounds().width()) {
        cg::Rect shrunk = title->frame();
        shrunk.size.width -= text.width;
        title->setFrame(shrunk);
    }
}

RT_DEFINE_CLASS(BadgeElement, "FMBadgeElement", LabelElement,
                rt::prop("badgeTextColor", &BadgeElement::badgeTextColor, &BadgeElement::setBadgeTextColor),
                rt::prop("badgeColor", &BadgeElement::badgeColor, &BadgeElement::setBadgeColor),
                rt::prop("badge", &BadgeElement::badge, &BadgeElement::setBadge))

RT_DEFINE_CLASS(BadgeLabel, "FMBadgeLabel", ui::Label,
                rt::prop("badgeColor", &BadgeLabel::badgeColor, &BadgeLabel::setBadgeColor),
                rt::method("setFrame:", &BadgeLabel::setFrame))

RT_DEFINE_CLASS(BadgeTableCell, "FMBadgeTableCell", TableViewCell,
                rt::prop("badgeLabel", &BadgeTableCell::badgeLabel))

} // namespace fm
