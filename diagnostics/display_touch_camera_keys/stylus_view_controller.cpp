#include "diagnostics/display_touch_camera_keys/stylus_view_controller.h"

#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/format.h"
#include "platform/graphics/value_boxing.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/uikit/button.h"
#include "platform/uikit/image.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/screen.h"
#include "session/core/test_base_model.h"
#include "streams/signal.h"
#include "streams/uikit/control_signals.h"

namespace ft {

namespace {

// Left, bottom and right: the view stays out from under the top bar.
constexpr unsigned long kStylusEdges =
    ui::ViewController::RectEdgeLeft | ui::ViewController::RectEdgeBottom | ui::ViewController::RectEdgeRight;
constexpr double kStylusMoveSeconds = 0.5;

} // namespace

RT_DEFINE_CLASS(StylusViewController, "StylusViewController", BaseModelViewController,
                rt::prop("button", &StylusViewController::button), rt::prop("points", &StylusViewController::points),
                rt::prop("count", &StylusViewController::count))

StylusViewController::StylusViewController() = default;
StylusViewController::~StylusViewController() = default;

void StylusViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    rt::Weak<StylusViewController> weak(rt::retained(this));
    setSubItemlist(ns::Array::make({titledRow("Touch screen")}));
    hideButtonsWhenShown();
    setExtendedLayoutIncludesOpaqueBars(false);
    setEdgesForExtendedLayout(kStylusEdges);
    button_ = ui::Button::buttonWithType(ui::ButtonType::Custom);
    button_->setImageForState(ui::Image::imageNamed("icon_arrow_n"), ui::ControlStates::Normal);
    button_->setImageForState(ui::Image::imageNamed("icon_arrow_h"), ui::ControlStates::Highlighted);
    button_->setFrame(cg::Rect::make(4, 4, 32, 32));
    view()->addSubview(button_);
    ns::log("%@", cg::stringFromRect(view()->bounds()));
    const cg::Rect screen = ui::Screen::mainScreen()->bounds();
    const double width = screen.width(), height = screen.height();
    points_ = ns::Array::make({ns::Value::with(cg::Point{width - 20, 21}), ns::Value::with(cg::Point{20, height - 64 - 16}),
                               ns::Value::with(cg::Point{width - 20, height - 64 - 16}),
                               ns::Value::with(cg::Point{width / 2, height / 2 - 32})});
    es::signalForControlEvents(button_.get(), ui::ControlEvent::TouchUpInside)->subscribeNext([weak](const rt::Id&) {
        if (auto self = weak.lock()) self->tapped();
    });
}

void StylusViewController::tapped() {
    if (std::size_t(count_) != points_->count()) {
        ui::View::beginAnimations(ns::String::make("move"), nullptr);
        ui::View::setAnimationDuration(kStylusMoveSeconds);
        ui::View::setAnimationDelegate(rt::retained(this));
        const long n = count_;
        count_ = n + 1;
        button_->setCenter(cg::unboxed<cg::Point>(points_->objectAtIndex(std::size_t(n))).value_or(button_->center()));
        ui::View::commitAnimations();
        return;
    }
    button_->setHidden(true);
    if (auto navigation = navigationController()) navigation->setNavigationBarHidden(false);
    if (auto item = info()) item->setSuccess(TestBaseModel::kPassed);
    if (auto row = rt::cast<ns::MutableDictionary>(subItemlist()->objectAtIndex(0)))
        row->setObjectForKey(ns::Number::withLong(TestBaseModel::kPassed), "result");
    gotoResultView();
}

} // namespace ft
