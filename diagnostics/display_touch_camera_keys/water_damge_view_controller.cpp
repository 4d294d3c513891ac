#include "diagnostics/display_touch_camera_keys/water_damge_view_controller.h"

#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/font.h"
#include "platform/uikit/label.h"
#include "platform/uikit/screen.h"
#include "session/screen_support.h"
#include "streams/signal.h"

namespace ft {

namespace {

// Left, bottom and right: the view stays out from under the top bar.
constexpr unsigned long kWaterDamgeEdges =
    ui::ViewController::RectEdgeLeft | ui::ViewController::RectEdgeBottom | ui::ViewController::RectEdgeRight;
constexpr double kWaterDamgeTitleMargin = 5;

const bool waterDamgeNibRegistered = registerTestScreenNib<WaterDamgeViewController>(
    "WaterDamgeViewController",
    [](const rt::Ref<ui::View>& view, WaterDamgeViewController& screen) {
        screen.setQuestion(
            addSceneLabel(view, cg::Rect::make(20, 120, view->bounds().width() - 40, 160), 18));
    },
    ScenePlacement::AsFramed);

} // namespace

RT_DEFINE_CLASS(WaterDamgeViewController, "WaterDamgeViewController", BaseModelViewController,
                rt::prop("titleLabel", &WaterDamgeViewController::titleLabel,
                         &WaterDamgeViewController::setTitleLabel),
                rt::prop("question", &WaterDamgeViewController::question,
                         &WaterDamgeViewController::setQuestion, {.memory = rt::Memory::Weak}))

WaterDamgeViewController::WaterDamgeViewController() = default;
WaterDamgeViewController::~WaterDamgeViewController() = default;

rt::Ref<ui::Label> WaterDamgeViewController::titleLabel() const {
    if (!titleLabel_) {
        titleLabel_ = rt::make<ui::Label>(cg::Rect::zero());
        titleLabel_->setNumberOfLines(0);
        titleLabel_->setFont(ui::Font::systemFontOfSize(16));
    }
    return titleLabel_;
}

void WaterDamgeViewController::setTitleLabel(rt::Ref<ui::Label> label) {
    rt::KeyChange change(this, "titleLabel");
    titleLabel_ = std::move(label);
}

rt::Ref<ui::Label> WaterDamgeViewController::question() const {
    return question_.lock();
}

void WaterDamgeViewController::setQuestion(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "question");
    question_ = label;
}

void WaterDamgeViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    setEdgesForExtendedLayout(kWaterDamgeEdges);
    view()->addSubview(titleLabel());
    if (auto label = question()) label->setText(localized("WATERDAMAGE_CONTROLLER_QUESTION"));
    choose()->subscribeNext([weak = rt::Weak<WaterDamgeViewController>(rt::retained(this))](bool yes) {
        if (auto self = weak.lock()) recordVerdict(*self, yes);
    });
}

void WaterDamgeViewController::viewWillLayoutSubviews() {
    BaseModelViewController::viewWillLayoutSubviews();
    auto title = titleLabel();
    title->setFrame(cg::Rect::make(kWaterDamgeTitleMargin, kWaterDamgeTitleMargin,
                                   ui::Screen::mainScreen()->bounds().width() - kWaterDamgeTitleMargin, 0));
    title->setText(localized("WATERDAMAGE_CONTROLLER_TITLE"));
    title->sizeToFit();
}

} // namespace ft
