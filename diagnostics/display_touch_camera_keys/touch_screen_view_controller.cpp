#include "diagnostics/display_touch_camera_keys/touch_screen_view_controller.h"

#include <cmath>
#include <string>
#include <vector>

#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/format.h"
#include "platform/foundation/set.h"
#include "platform/graphics/layer.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/application.h"
#include "platform/uikit/color.h"
#include "platform/uikit/image.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/touch.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "streams/signal.h"
#include "streams/uikit/control_signals.h"
#include "ui/layout/constraint_maker.h"

namespace ft {

namespace {

constexpr int kTouchGridColumns = 5;
constexpr double kTouchGridSkipWidth = 100;
constexpr double kTouchGridSkipHeight = 40;

// The grid's side and whole rows for a width and height.
struct TouchGridShape {
    double side;
    long rows;
};

TouchGridShape touchGridShape(const cg::Rect& bounds) {
    const double side = bounds.width() / kTouchGridColumns;
    return {side, side > 0 ? long(bounds.height() / side) : 0};
}

// Numbers as ranges: "2-4", "1, 5".
std::string numberRanges(const std::vector<long>& numbers) {
    std::string text;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t last = i;
        while (last + 1 < numbers.size() && numbers[last + 1] == numbers[last] + 1)
            ++last;
        text += (text.empty() ? "" : ", ") + std::to_string(numbers[i]) +
                (last > i ? "-" + std::to_string(numbers[last]) : "");
        i = last + 1;
    }
    return text;
}

} // namespace

// ---- SJTouchButton ----------------------------------------------------------------------------

RT_DEFINE_CLASS(SJTouchButton, "SJTouchButton", ui::Button,
                rt::prop("isTouched", &SJTouchButton::isTouched, &SJTouchButton::setIsTouched))

SJTouchButton::SJTouchButton() {
    setUserInteractionEnabled(false);
}

SJTouchButton::SJTouchButton(const cg::Rect& frame, ui::ButtonType type) : ui::Button(frame, type) {
    setUserInteractionEnabled(false);
}

SJTouchButton::~SJTouchButton() = default;

rt::Ref<SJTouchButton> SJTouchButton::buttonWithType(ui::ButtonType type) {
    return rt::make<SJTouchButton>(cg::Rect::zero(), type);
}

void SJTouchButton::setIsTouched(bool touched) {
    rt::KeyChange change(this, "isTouched");
    touched_ = touched;
}

// ---- SJTouchView ------------------------------------------------------------------------------

RT_DEFINE_CLASS(SJTouchView, "SJTouchView", ui::View,
                rt::prop("hasNotify", &SJTouchView::hasNotify),
                rt::method("checkResultWithCGPoint:", &SJTouchView::checkResultWithCGPoint),
                rt::method("reset", &SJTouchView::reset))

SJTouchView::SJTouchView(const cg::Rect& frame) : ui::View(frame) {
    setBackgroundColor(ui::Color::whiteColor());
    setupButtons();
    drawDashedLine();
}

rt::Ref<SJTouchView> SJTouchView::touchView(const cg::Rect& frame, OnAllTouch onAllTouch) {
    auto view = rt::make<SJTouchView>(frame);
    view->setOnTouchView(std::move(onAllTouch));
    return view;
}

void SJTouchView::setupButtons() {
    const auto [side, rows] = touchGridShape(bounds());
    for (long row = 0; row < rows; ++row)
        for (int column = 0; column < kTouchGridColumns; ++column) {
            auto cell = SJTouchButton::buttonWithType(ui::ButtonType::Custom);
            cell->setFrame(cg::Rect::make(column * side, double(row) * side, side, side));
            cell->setBackgroundColor(touchTargetColor());
            addSubview(cell);
        }
}

void SJTouchView::drawDashedLine() {
    const cg::Rect own = bounds();
    const auto [side, rows] = touchGridShape(own);
    auto path = cg::MutablePath::make();
    for (int column = 1; column < kTouchGridColumns; ++column) {
        path->moveTo({column * side, 0});
        path->addLineTo({column * side, double(rows) * side});
    }
    for (long row = 1; row <= rows; ++row) {
        path->moveTo({0, double(row) * side});
        path->addLineTo({own.width(), double(row) * side});
    }
    auto guide = ca::ShapeLayer::make();
    guide->setFrame(cg::Rect::make(center().x - own.width() / 2, center().y - own.height() / 2, own.width(),
                                   own.height()));
    guide->setFillColor(ui::Color::clearColor()->cgColor());
    guide->setStrokeColor(ui::Color::whiteColor()->cgColor());
    guide->setLineWidth(1.0);
    guide->setLineJoin(cg::LineJoin::Round);
    guide->setLineDashPattern({2, 3});
    guide->setPath(path);
    layer()->addSublayer(guide);
}

void SJTouchView::checkResultWithCGPoint(cg::Point point) {
    for (const rt::Ref<ui::View>& subview : subviewList())
        if (auto cell = rt::cast<SJTouchButton>(subview.get()); cell && cell->frame().contains(point)) {
            cell->setBackgroundColor(ui::Color::greenColor());
            cell->setIsTouched(true);
        }
}

void SJTouchView::reset() {
    for (const rt::Ref<ui::View>& subview : subviewList())
        if (auto cell = rt::cast<SJTouchButton>(subview.get())) {
            cell->setBackgroundColor(touchTargetColor());
            cell->setIsTouched(false);
        }
    hasNotify_ = false;
}

void SJTouchView::report(const rt::Ref<ns::Set>& touches) {
    auto touch = touches ? rt::cast<ui::Touch>(touches->anyObject()) : nullptr;
    if (!touch) return;
    currentPoint_ = touch->locationInView(this);
    checkResultWithCGPoint(currentPoint_);
}

rt::Ref<ns::String> SJTouchView::accessibilityValue() const {
    if (auto value = ui::View::accessibilityValue()) return value;
    // Rows (from the top) and columns (from the left) count from 1; a row left whole is named alone,
    // and a run of such rows as one range.
    std::vector<std::vector<long>> left; // by row, the columns left
    long cells = 0, untouched = 0;
    for (const rt::Ref<ui::View>& subview : subviewList()) {
        auto cell = rt::cast<SJTouchButton>(subview.get());
        if (!cell) continue;
        const long row = cells / kTouchGridColumns, column = cells % kTouchGridColumns;
        ++cells;
        if (std::size_t(row) >= left.size()) left.resize(std::size_t(row) + 1);
        if (!cell->isTouched()) {
            left[std::size_t(row)].push_back(column + 1);
            ++untouched;
        }
    }
    std::string where;
    std::vector<long> wholeRows;
    auto flushWholeRows = [&] {
        if (wholeRows.empty()) return;
        where += std::string(where.empty() ? "" : "; ") + (wholeRows.size() > 1 ? "rows " : "row ") +
                 numberRanges(wholeRows);
        wholeRows.clear();
    };
    for (std::size_t row = 0; row < left.size(); ++row) {
        if (left[row].size() == std::size_t(kTouchGridColumns)) {
            wholeRows.push_back(long(row) + 1);
            continue;
        }
        flushWholeRows();
        if (!left[row].empty())
            where += std::string(where.empty() ? "" : "; ") + "row " + std::to_string(row + 1) + " columns " +
                     numberRanges(left[row]);
    }
    flushWholeRows();
    return ns::String::make("cells left: " + (untouched ? std::to_string(untouched) : std::string("none")) +
                            " of " + std::to_string(cells) + (where.empty() ? "" : ": " + where));
}

void SJTouchView::touchesBegan(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    ui::View::touchesBegan(touches, event);
    report(touches);
}

void SJTouchView::touchesMoved(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    ui::View::touchesMoved(touches, event);
    report(touches);
}

void SJTouchView::touchesEnded(const rt::Ref<ns::Set>& touches, const rt::Ref<ui::Event>& event) {
    ui::View::touchesEnded(touches, event);
    report(touches);
    checkAllTouched();
}

void SJTouchView::checkAllTouched() {
    for (const rt::Ref<ui::View>& subview : subviewList())
        if (auto cell = rt::cast<SJTouchButton>(subview.get()); !cell || !cell->isTouched()) return;
    if (hasNotify_) return;
    ns::log("all Touch");
    if (!onTouchView_) return;
    const OnAllTouch block = onTouchView_;
    block(rt::retained(this));
    hasNotify_ = true;
}

// ---- TouchScreenViewController ----------------------------------------------------------------

RT_DEFINE_CLASS(TouchScreenViewController, "TouchScreenViewController", BaseModelViewController,
                rt::prop("button", &TouchScreenViewController::button, &TouchScreenViewController::setButton),
                rt::prop("touchView", &TouchScreenViewController::touchView, {.memory = rt::Memory::Weak}),
                rt::prop("skipButton", &TouchScreenViewController::skipButton, {.memory = rt::Memory::Weak}))

TouchScreenViewController::TouchScreenViewController() = default;

void TouchScreenViewController::setButton(rt::Ref<ui::Button> button) {
    rt::KeyChange change(this, "button");
    button_ = std::move(button);
}

void TouchScreenViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    rt::Weak<TouchScreenViewController> weak(rt::retained(this));
    setSubItemlist(ns::Array::make({titledRow("Touch screen")}));
    present()->subscribeNext([weak](bool shown) {
        auto self = weak.lock();
        if (!self) return;
        setBarsHidden(*self, shown);
        self->hidenButtons(shown);
    });
    const rt::Ref<ui::View> root = view();
    const cg::Rect bounds = root->bounds();
    auto grid = SJTouchView::touchView(bounds, [weak](const rt::Ref<SJTouchView>&) {
        if (auto self = weak.lock()) recordVerdict(*self, true, "every cell touched");
    });
    touchView_ = grid;
    root->addSubview(grid);
    // The bar's height is the screen's height modulo the cell side, both truncated: it need not
    // meet the grid's last row.
    const long side = long(bounds.width() / kTouchGridColumns);
    const double rest = side > 0 ? double(long(bounds.height()) % side) : 0;
    auto bar = rt::make<ui::View>(cg::Rect::make(0, bounds.height() - rest, bounds.width(), rest));
    bar->setBackgroundColor(ui::Color::whiteColor());
    auto skip = ui::Button::buttonWithType(ui::ButtonType::System);
    skip->setTitleForState(localized("BASETEST_CONTROLLER_ACTIONSHEET_SKIP"), ui::ControlStates::Normal);
    es::signalForControlEvents(skip.get(), ui::ControlEvent::TouchUpInside)
        ->subscribeNext([weak](const rt::Id&) {
            if (auto self = weak.lock()) recordVerdict(*self, false, "skipped");
        });
    bar->addSubview(skip);
    skipButton_ = skip;
    // Centred in the part of the bar above the home indicator's band.
    lc::makeConstraints(skip, [weakBar = rt::Weak<ui::View>(bar)](lc::ConstraintMaker& make) {
        auto bar = weakBar.lock();
        make.size()->equalTo(lc::boxed(cg::Size{kTouchGridSkipWidth, kTouchGridSkipHeight}));
        make.centerY()->equalTo(bar)->offset(-bottomInset() / 2);
        make.centerX()->equalTo(bar);
    });
    root->addSubview(bar);
}

void TouchScreenViewController::viewWillDisappearBody(bool animated) {
    BaseModelViewController::viewWillDisappearBody(animated);
    if (auto application = ui::Application::sharedApplication()) application->setStatusBarHidden(false);
}

void TouchScreenViewController::viewDidLayoutSubviews() {
    BaseModelViewController::viewDidLayoutSubviews();
    ns::log("viewDidLayoutSubviews");
    ns::log("%@", cg::stringFromRect(button_ ? button_->frame() : cg::Rect::zero()));
}

} // namespace ft
