#include "platform/uikit/toolbar.h"

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/screen.h"

namespace ui {

namespace {
constexpr double kToolbarHeight = 44;
} // namespace

Toolbar::Toolbar() : Toolbar(cg::Rect::zero()) {}

Toolbar::Toolbar(const cg::Rect& frame) : View(frame) {}

Toolbar::~Toolbar() = default;

void Toolbar::setItems(std::vector<rt::Ref<BarButtonItem>> items, bool) {
    rt::KeyChange change(this, "items");
    for (const auto& item : items_)
        if (item->customView() && item->customView()->superview() == this) item->customView()->removeFromSuperview();
    items_ = std::move(items);
    for (const auto& item : items_)
        if (item->customView()) addSubview(item->customView());
}

void Toolbar::setBarStyle(long style) {
    rt::KeyChange change(this, "barStyle");
    barStyle_ = style;
}

void Toolbar::setTranslucent(bool translucent) {
    rt::KeyChange change(this, "translucent");
    translucent_ = translucent;
}

cg::Size Toolbar::sizeThatFits(cg::Size size) const {
    const double width = size.width > 0 ? size.width : Screen::mainScreen()->bounds().width();
    return {width, kToolbarHeight};
}

RT_DEFINE_CLASS(Toolbar, "UIToolbar", View,
                rt::prop("barStyle", &Toolbar::barStyle, &Toolbar::setBarStyle),
                rt::prop("translucent", &Toolbar::isTranslucent, &Toolbar::setTranslucent, {.getter = "isTranslucent"}))

} // namespace ui
