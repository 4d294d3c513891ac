#include "diagnostics/display_touch_camera_keys/color_fill_view_controller.h"

#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "platform/foundation/attributed_string.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/format.h"
#include "platform/graphics/image.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/image.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/storyboard_segue.h"
#include "platform/uikit/text_attachment.h"
#include "platform/uikit/text_view.h"
#include "session/core/test_base_model.h"
#include "session/result_view_controller.h"
#include "session/screen_support.h"
#include "streams/scheduler.h"
#include "streams/signal.h"
#include "streams/uikit/control_signals.h"
#include "ui/layout/constraint_maker.h"
#include "ui/layout/layout_constraint.h"
#include "ui/layout/view_constraint.h"

namespace ft {

namespace {

constexpr double kColorFillRetryHeight = 44;
// Where fillTextView moves the text view.
constexpr cg::Point kColorFillTextOrigin{110, 110};

rt::Ref<ns::Number> colorFillCode(std::int64_t code) {
    return ns::Number::withLong(long(code));
}

// The question naming the colour of an entry.
rt::Ref<ns::String> colorFillQuestion(const rt::Id& entry) {
    auto dictionary = rt::cast<ns::Dictionary>(entry);
    return ns::stringWithFormat(localized("FILLCOLOR_CONTROLLER_ANSWER")->utf8(),
                                dictionary ? dictionary->objectForKey("name") : nullptr);
}

// The code in a row's or an entry's "result", 0 without one.
std::int64_t colorFillResult(const rt::Id& entry) {
    auto dictionary = rt::cast<ns::Dictionary>(entry);
    auto result = dictionary ? rt::cast<ns::Number>(dictionary->objectForKey("result")) : nullptr;
    return result ? result->longValue() : 0;
}

// The panel buttons' look: dark panels with white titles read on every colour; pressed, the panel
// lights up under a title that stays white, so a press shows on black as on white.
void colorFillPanelButton(const rt::Ref<ui::Button>& button) {
    constexpr std::uint8_t kLit = 89; // white at 0.35, premultiplied
    auto lit = cg::Image::create(1, 1, 4, static_cast<cg::BitmapInfo>(cg::ImageAlphaInfo::PremultipliedLast),
                                 {kLit, kLit, kLit, kLit});
    button->setBackgroundColor(ui::Color::colorWithWhite(0, 0.45));
    button->setBackgroundImageForState(ui::Image::imageWithCGImage(lit), ui::ControlStates::Highlighted);
    for (const ui::ControlState state : {ui::ControlStates::Normal, ui::ControlStates::Highlighted})
        button->setTitleColorForState(ui::Color::whiteColor(), state);
}

} // namespace

RT_DEFINE_CLASS(ColorFillViewController, "ColorFillViewController", BaseModelViewController,
                rt::prop("colors", &ColorFillViewController::colors, &ColorFillViewController::setColors),
                rt::prop("count", &ColorFillViewController::count, &ColorFillViewController::setCount),
                rt::prop("label", &ColorFillViewController::label, &ColorFillViewController::setLabel,
                         {.memory = rt::Memory::Weak}),
                rt::prop("testLabel", &ColorFillViewController::testLabel,
                         &ColorFillViewController::setTestLabel, {.memory = rt::Memory::Weak}),
                rt::prop("textView", &ColorFillViewController::textView,
                         &ColorFillViewController::setTextView, {.memory = rt::Memory::Weak}),
                rt::prop("hideButtons", &ColorFillViewController::hideButtons,
                         &ColorFillViewController::setHideButtons, {.memory = rt::Memory::Weak}),
                rt::method("checkResult", &ColorFillViewController::checkResult),
                rt::method("fillTextView", &ColorFillViewController::fillTextView))

ColorFillViewController::ColorFillViewController(Design design) : design_(std::move(design)) {}
ColorFillViewController::~ColorFillViewController() = default;

void ColorFillViewController::setColors(rt::Ref<ns::MutableArray> colors) {
    rt::KeyChange change(this, "colors");
    colors_ = std::move(colors);
}

void ColorFillViewController::setCount(std::int64_t count) {
    rt::KeyChange change(this, "count");
    count_ = count;
}

rt::Ref<ui::Label> ColorFillViewController::label() const {
    return label_.lock();
}

rt::Ref<ui::Label> ColorFillViewController::testLabel() const {
    return testLabel_.lock();
}

rt::Ref<ui::TextView> ColorFillViewController::textView() const {
    return textView_.lock();
}

rt::Ref<ui::Button> ColorFillViewController::hideButtons() const {
    return hideButtons_.lock();
}

void ColorFillViewController::setLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "label");
    label_ = label;
}

void ColorFillViewController::setTestLabel(const rt::Ref<ui::Label>& label) {
    rt::KeyChange change(this, "testLabel");
    testLabel_ = label;
}

void ColorFillViewController::setTextView(const rt::Ref<ui::TextView>& view) {
    rt::KeyChange change(this, "textView");
    textView_ = view;
}

void ColorFillViewController::setHideButtons(const rt::Ref<ui::Button>& button) {
    rt::KeyChange change(this, "hideButtons");
    hideButtons_ = button;
}

rt::Ref<ui::LayoutConstraint> ColorFillViewController::addFillViews(const rt::Ref<ui::View>& view,
                                                                    ColorFillViewController& owner) {
    const cg::Rect bounds = view->bounds();
    for (const auto& button : {owner.successButton(), owner.failButton()})
        if (button) colorFillPanelButton(button);
    auto question =
        addSceneLabel(view, cg::Rect::make(20, bounds.height() / 2 - 60, bounds.width() - 40, 120), 20);
    owner.setLabel(question);
    owner.setTestLabel(addSceneLabel(view, cg::Rect::make(20, 70, bounds.width() - 40, 30), 15));
    auto text = rt::make<ui::TextView>(cg::Rect::make(0, 0, bounds.width() - 130, 150));
    text->setEditable(false);
    text->setFont(ui::Font::systemFontOfSize(16));
    text->setBackgroundColor(ui::Color::whiteColor());
    text->setHidden(true);
    view->addSubview(text);
    owner.setTextView(text);

    auto retry = ui::Button::buttonWithType(ui::ButtonType::System);
    retry->setFrame(cg::Rect::make(0, 0, bounds.width(), kColorFillRetryHeight));
    colorFillPanelButton(retry);
    view->addSubview(retry);
    owner.setHideButtons(retry);
    rt::Ref<lc::Constraint> height;
    lc::makeConstraints(retry, [&](lc::ConstraintMaker& make) {
        make.top()->equalTo(view);
        make.left()->equalTo(view);
        make.right()->equalTo(view);
        height = make.height()->equalTo(kColorFillRetryHeight);
    });
    auto installed = rt::cast<lc::ViewConstraint>(height);
    return installed ? rt::Ref<ui::LayoutConstraint>(installed->layoutConstraint()) : nullptr;
}

// ---- The flow ----

void ColorFillViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    rt::Weak<ColorFillViewController> weak(rt::retained(this));
    fitRetryButton();
    if (auto retry = hideButtons())
        retry->setTitleForState(localized("LCD_FILL_CONTROLLER_RETRY"), ui::ControlStates::Normal);
    present()->subscribeNext([weak](bool shown) {
        auto self = weak.lock();
        if (!self) return;
        self->setBarsHidden(shown);
        if (!shown) return self->checkResult();
        self->hidenButtons(true);
        if (auto retry = self->hideButtons()) retry->setHidden(true);
    });
    auto entries = ns::MutableArray::make();
    auto rows = ns::MutableArray::make();
    for (const Colour& colour : design_.colours) {
        auto entry = ns::MutableDictionary::make();
        entry->setObjectForKey(colour.fill(), "color");
        entry->setObjectForKey(colour.text(), "labelColor");
        entry->setObjectForKey(localized(colour.nameKey), "name");
        entry->setObjectForKey(colorFillCode(0), "result");
        entries->addObject(entry);
        auto row = ns::MutableDictionary::make();
        row->setObjectForKey(colorFillQuestion(entry), "title");
        rows->addObject(row);
    }
    setColors(entries);
    setSubItemlist(rt::cast<ns::Array>(rows->copy()));
    showColour();
    if (auto question = label()) question->setHidden(true);
    choose()->subscribeNext([weak](bool yes) {
        if (auto self = weak.lock()) self->answer(yes);
    });
    waitBare();
    if (auto retry = hideButtons())
        es::signalForControlEvents(retry.get(), ui::ControlEvent::TouchUpInside)
            ->subscribeNext([weak](const rt::Id&) {
                if (auto self = weak.lock()) self->waitBare();
            });
}

void ColorFillViewController::viewWillDisappearBody(bool animated) {
    BaseModelViewController::viewWillDisappearBody(animated);
    if (auto application = ui::Application::sharedApplication()) application->setStatusBarHidden(false);
}

void ColorFillViewController::prepareForSegueBody(const rt::Ref<ui::StoryboardSegue>& segue,
                                                  const rt::Id& sender) {
    if (auto results = rt::cast<ResultViewController>(segue->destinationViewController()))
        results->setResult(info() ? info()->success() : 0);
    BaseModelViewController::prepareForSegueBody(segue, sender);
}

rt::Ref<ns::String> ColorFillViewController::question(const rt::Id& entry) const {
    if (design_.asksItemsQuestion)
        return info() && info()->question() ? info()->question() : ns::String::empty();
    return colorFillQuestion(entry);
}

void ColorFillViewController::showColour() {
    auto entry = rt::cast<ns::Dictionary>(colors_->objectAtIndex(std::size_t(count_)));
    view()->setBackgroundColor(rt::cast<ui::Color>(entry->objectForKey("color")));
    if (auto question = label()) {
        question->setText(this->question(entry));
        question->setTextColor(rt::cast<ui::Color>(entry->objectForKey("labelColor")));
    }
}

void ColorFillViewController::setAsking(bool asking) {
    hidenButtons(!asking);
    if (auto retry = hideButtons()) retry->setHidden(!asking);
    if (auto question = label()) question->setHidden(!asking);
}

void ColorFillViewController::waitBare() {
    setAsking(false);
    rt::Weak<ColorFillViewController> weak(rt::retained(this));
    es::Signal::interval(design_.barePeriod, es::Scheduler::mainThreadScheduler())
        ->take(1)
        ->subscribeCompleted([weak] {
            if (auto self = weak.lock()) self->setAsking(true);
        });
}

void ColorFillViewController::setRowResult(std::int64_t code) {
    if (auto row = rt::cast<ns::MutableDictionary>(subItemlist()->objectAtIndex(std::size_t(count_))))
        row->setObjectForKey(colorFillCode(code), "result");
}

void ColorFillViewController::setBarsHidden(bool hidden) {
    ft::setBarsHidden(*this, hidden);
}

void ColorFillViewController::answer(bool yes) {
    const auto last = std::int64_t(colors_->count()) - 1;
    if (yes && count_ != last) {
        setRowResult(TestBaseModel::kPassed);
        setCount(count_ + 1);
        showColour();
        waitBare();
        return;
    }
    if (auto item = info()) item->setSuccess(yes ? TestBaseModel::kPassed : TestBaseModel::kFailed);
    setRowResult(yes ? TestBaseModel::kPassed : TestBaseModel::kFailed);
    if (!yes) setSubItemlist(subItemlist()->subarrayWithRange({0, std::size_t(count_) + 1}));
    gotoResultView();
}

void ColorFillViewController::checkResult() {
    auto item = info();
    if (!item) return;
    bool unanswered = false, failed = false;
    for (const rt::Id& row : *subItemlist()) {
        const std::int64_t result = colorFillResult(row);
        if (result == 0) unanswered = true;
        if (result == TestBaseModel::kFailed) failed = true;
        if (unanswered || failed) break;
    }
    if (!unanswered)
        item->setSuccess(failed ? TestBaseModel::kFailed : TestBaseModel::kPassed);
    else if (!isRetryItem())
        item->setSuccess(item->lastCode() != 0 ? item->lastCode() : TestBaseModel::kFailed);
    else
        item->setSuccess(item->endTestCode());
}

void ColorFillViewController::fillTextView() {
    auto text = ns::MutableAttributedString::make(ns::String::empty());
    for (const rt::Id& entry : *colors_) {
        const std::int64_t result = colorFillResult(entry);
        const char* icon = result == TestBaseModel::kFailed   ? "icon_small_fail"
                           : result == TestBaseModel::kPassed ? "icon_small_success"
                                                              : nullptr;
        auto attachment = ui::TextAttachment::make(icon ? ui::Image::imageNamed(icon) : nullptr);
        text->appendAttributedString(*ns::AttributedString::make(colorFillQuestion(entry)));
        text->appendAttributedString(*ui::TextAttachment::attributedStringWithAttachment(attachment));
        text->appendAttributedString(*ns::AttributedString::make("\n"));
        if (result != TestBaseModel::kFailed && result != TestBaseModel::kPassed) break;
    }
    auto view = textView();
    if (!view) return;
    view->setAttributedText(text);
    view->setHidden(false);
    view->setFrame({kColorFillTextOrigin, view->frame().size});
}

} // namespace ft
