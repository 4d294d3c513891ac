// The other controls and views: values set from code or by key raise no event while the user's
// touches do; buttons by state, bar button items, text views, images, reusable views, layout
// constraints, the image picker and the delegate protocols.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/date.h"
#include "platform/foundation/key_value_observing.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/set.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/runtime/value.h"
#include "platform/sim/device.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/button.h"
#include "platform/uikit/collection_reusable_view.h"
#include "platform/uikit/color.h"
#include "platform/uikit/date_picker.h"
#include "platform/uikit/delegate_protocols.h"
#include "platform/uikit/event.h"
#include "platform/uikit/font.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_picker_controller.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/keyboard.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/refresh_control.h"
#include "platform/uikit/segmented_control.h"
#include "platform/uikit/slider.h"
#include "platform/uikit/stepper.h"
#include "platform/uikit/switch.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/text_field.h"
#include "platform/uikit/text_view.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/touch.h"
#include "platform/uikit/view_rendering.h"
#include "platform/uikit/window.h"
#include "tests/platform/uikit/support.h"

namespace {

using uikit_tests::ActionLog;
namespace Event = ui::ControlEvent;

// A touch that begins and ends at `x` (in the control's coordinates, vertically centred).
void tapAt(const rt::Ref<ui::Control>& control, double x) {
    const cg::Point point = control->convertPointToView({x, control->bounds().midY()}, nullptr);
    auto event = ui::Event::withTouches({ui::Touch::make(control, point, ui::TouchPhase::Began)});
    control->touchesBegan(event->allTouches(), event);
    event->touchList().front()->setPhase(ui::TouchPhase::Ended);
    control->touchesEnded(event->allTouches(), event);
}

rt::Ref<ActionLog> listen(const rt::Ref<ui::Control>& control) {
    auto log = rt::make<ActionLog>();
    control->addTargetActionForControlEvents(log, rt::Sel("changed:"), Event::ValueChanged);
    return log;
}

TEST(UIValueControls, KeyValueWritesRaiseNoValueChangedEvent) {
    auto toggle = rt::make<ui::Switch>();
    auto slider = rt::make<ui::Slider>(cg::Rect::make(0, 0, 200, 30));
    auto stepper = rt::make<ui::Stepper>();
    auto segments = ui::SegmentedControl::withItems(ns::Array::withObjects({ns::str("A"), ns::str("B")}));
    auto picker = rt::make<ui::DatePicker>();
    std::vector<rt::Ref<ActionLog>> logs = {listen(toggle), listen(slider), listen(stepper), listen(segments),
                                            listen(picker)};

    ns::setValueForKey(toggle, ns::Number::withBool(true), "on");
    ns::setValueForKey(slider, ns::Number::withDouble(0.25), "value");
    ns::setValueForKey(stepper, ns::Number::withDouble(7), "value");
    ns::setValueForKey(segments, ns::Number::withLong(1), "selectedSegmentIndex");
    ns::setValueForKey(picker, ns::Date::withTimeIntervalSinceReferenceDate(1000), "date");
    toggle->setOnAnimated(false, true);
    slider->setValueAnimated(0.5f, true);

    EXPECT_FALSE(toggle->isOn());
    EXPECT_EQ(slider->value(), 0.5f);
    EXPECT_EQ(stepper->value(), 7);
    EXPECT_EQ(segments->selectedSegmentIndex(), 1);
    EXPECT_EQ(picker->date()->timeIntervalSinceReferenceDate(), 1000);
    for (const auto& log : logs)
        EXPECT_TRUE(log->calls.empty());
}

TEST(UIValueControls, KeyValueObserversHearWritesFromCode) {
    auto toggle = rt::make<ui::Switch>();
    auto observer = rt::make<ActionLog>(); // any object; the default observe logs the call
    ns::CapturedLog log;
    ns::addObserverForKeyPath(toggle, observer, "on", ns::KeyValueObservingOptions::New);
    toggle->setOn(true);
    ns::removeObserverForKeyPath(toggle, observer, "on");
    EXPECT_EQ(log.lines().size(), 1u) << testing::PrintToString(log.lines());
}

TEST(UIValueControls, TheUsersTouchesChangeValuesAndSayso) {
    auto toggle = rt::make<ui::Switch>();
    auto toggleLog = listen(toggle);
    tapAt(toggle, 10);
    EXPECT_TRUE(toggle->isOn());
    EXPECT_EQ(toggleLog->calls.size(), 1u);

    auto stepper = rt::make<ui::Stepper>();
    stepper->setStepValue(5);
    stepper->setMaximumValue(10);
    auto stepperLog = listen(stepper);
    tapAt(stepper, 80); // the right half adds
    tapAt(stepper, 80);
    tapAt(stepper, 80); // held at the maximum: no change, no event
    EXPECT_EQ(stepper->value(), 10);
    tapAt(stepper, 5);
    EXPECT_EQ(stepper->value(), 5);
    EXPECT_EQ(stepperLog->calls.size(), 3u);
    stepper->setWraps(true);
    stepper->setValue(10);
    tapAt(stepper, 80);
    EXPECT_EQ(stepper->value(), 0);

    auto segments = ui::SegmentedControl::withItems(ns::Array::withObjects({ns::str("A"), ns::str("B"), ns::str("C")}));
    segments->setFrame(cg::Rect::make(0, 0, 300, 30));
    segments->setEnabledForSegmentAtIndex(false, 2);
    auto segmentLog = listen(segments);
    tapAt(segments, 150);
    tapAt(segments, 160); // already selected
    tapAt(segments, 250); // disabled segment
    EXPECT_EQ(segments->selectedSegmentIndex(), 1);
    EXPECT_EQ(segmentLog->calls.size(), 1u);
    // A momentary control shows the tapped segment while its targets hear of it, then none.
    segments->setMomentary(true);
    segments->setSelectedSegmentIndex(-1);
    long heard = -2;
    segmentLog->onCall = [&] { heard = segments->selectedSegmentIndex(); };
    tapAt(segments, 10);
    EXPECT_EQ(heard, 0);
    EXPECT_EQ(segments->selectedSegmentIndex(), -1);

    auto refresh = rt::make<ui::RefreshControl>();
    auto refreshLog = listen(refresh);
    EXPECT_TRUE(refresh->pullToRefresh());
    EXPECT_FALSE(refresh->pullToRefresh()) << "still refreshing";
    refresh->endRefreshing();
    EXPECT_FALSE(refresh->isRefreshing());
    EXPECT_TRUE(refresh->pullToRefresh());
    EXPECT_EQ(refreshLog->calls.size(), 2u);
}

TEST(UIValueControls, ValuesAreHeldToTheirBounds) {
    auto slider = rt::make<ui::Slider>();
    slider->setValue(3);
    EXPECT_EQ(slider->value(), 1);
    slider->setMinimumValue(2); // the maximum and the value follow
    EXPECT_EQ(slider->maximumValue(), 2);
    EXPECT_EQ(slider->value(), 2);

    ns::ScopedManualClock clock(500);
    auto picker = rt::make<ui::DatePicker>();
    EXPECT_EQ(picker->date()->timeIntervalSinceReferenceDate(), 500) << "the clock's time when it was made";
    picker->setMinimumDate(ns::Date::withTimeIntervalSinceReferenceDate(100));
    picker->setMaximumDate(ns::Date::withTimeIntervalSinceReferenceDate(200));
    EXPECT_EQ(picker->date()->timeIntervalSinceReferenceDate(), 200);
    picker->setDate(ns::Date::withTimeIntervalSinceReferenceDate(50));
    EXPECT_EQ(picker->date()->timeIntervalSinceReferenceDate(), 100);
    picker->setDate(nullptr);
    EXPECT_TRUE(picker->date());

    auto segments = ui::SegmentedControl::withItems(ns::Array::withObjects({ns::str("A")}));
    ns::CapturedLog log;
    segments->setSelectedSegmentIndex(4);
    EXPECT_EQ(segments->selectedSegmentIndex(), ui::SegmentedControlNoSegment);
    EXPECT_TRUE(log.contains("beyond the 1 segments"));
    segments->setSelectedSegmentIndex(0);
    segments->insertSegmentWithTitle(ns::str("first"), 0);
    EXPECT_EQ(segments->selectedSegmentIndex(), 1) << "the selection moves with its segment";
    EXPECT_EQ(segments->titleForSegmentAtIndex(0)->utf8(), "first");
}

TEST(UIButton, TitlesByStateShowInTheTitleLabel) {
    auto button = ui::Button::buttonWithType(ui::ButtonType::System);
    button->setTitleForState(ns::str("Start"), ui::ControlStates::Normal);
    button->setTitleForState(ns::str("Wait"), ui::ControlStates::Disabled);
    EXPECT_EQ(button->titleLabel()->text()->utf8(), "Start");
    EXPECT_EQ(button->titleLabel()->superview(), button);
    ns::setValueForKey(button, ns::Number::withBool(false), "enabled");
    EXPECT_EQ(button->currentTitle()->utf8(), "Wait");
    EXPECT_EQ(button->titleLabel()->text()->utf8(), "Wait");
    EXPECT_EQ(button->titleForState(ui::ControlStates::Selected)->utf8(), "Start") << "falls back to normal";
    EXPECT_EQ(button->titleForState(ui::ControlStates::Disabled | ui::ControlStates::Selected)->utf8(), "Wait");
    EXPECT_TRUE(rt::equal(button->titleColorForState(ui::ControlStates::Normal),
                          ui::Color::colorWithRed(0, 122.0 / 255, 1, 1)));
    EXPECT_EQ(ns::valueForKey(button, "currentTitle")->description(), "Wait");
}

TEST(UIButton, ADisabledSystemButtonIsDimmedUnlessItsOwnColourIsSet) {
    auto blue = ui::Color::systemBlueColor(), red = ui::Color::redColor();
    auto system = ui::Button::buttonWithType(ui::ButtonType::System);
    auto custom = ui::Button::buttonWithType(ui::ButtonType::Custom);
    custom->setTitleColorForState(red, ui::ControlStates::Normal);
    for (const auto& button : {system, custom}) {
        button->setTitleForState(ns::str("Send"), ui::ControlStates::Normal);
        button->setEnabled(false);
    }
    EXPECT_LT(system->titleLabel()->textColor()->alpha(), 1);
    EXPECT_TRUE(rt::equal(custom->titleLabel()->textColor(), red)) << "a custom button keeps its colour";
    system->setTitleColorForState(red, ui::ControlStates::Disabled);
    EXPECT_TRUE(rt::equal(system->titleLabel()->textColor(), red));
    system->setEnabled(true);
    EXPECT_TRUE(rt::equal(system->titleLabel()->textColor(), blue));
}

// The finger lifts and the button is back to normal before its tap's actions run: whatever reads or
// draws it from then on sees it so. The frame of the tap's turn still shows it under the finger (a
// system button's title faded to a fifth of its colour unless it has a highlighted colour of its
// own, a custom one's kept): a picture of the screen taken in that turn draws it pressed, without
// the button changing, and one taken after the turn has committed draws it normal.
TEST(UIButton, AButtonIsNormalOnceItsTouchEndsAndTheFrameOfItsTurnShowsItPressed) {
    const auto blue = ui::Color::systemBlueColor(), red = ui::Color::redColor();
    const struct {
        ui::ButtonType type;
        rt::Ref<ui::Color> normal, highlighted, pressed, after; // set, set, under the finger, normal
    } cases[] = {{ui::ButtonType::System, nullptr, nullptr, blue->colorWithAlphaComponent(0.2), blue},
                 {ui::ButtonType::System, nullptr, red, red, blue},
                 {ui::ButtonType::Custom, red, nullptr, red, red}};
    for (const auto& c : cases) {
        auto window = rt::make<ui::Window>(cg::Rect::make(0, 0, 200, 100));
        auto button = ui::Button::buttonWithType(c.type);
        button->setFrame(cg::Rect::make(0, 0, 100, 44));
        button->setTitleForState(ns::str("Yes"), ui::ControlStates::Normal);
        window->addSubview(button);
        if (c.normal) button->setTitleColorForState(c.normal, ui::ControlStates::Normal);
        if (c.highlighted) button->setTitleColorForState(c.highlighted, ui::ControlStates::Highlighted);
        const cg::DisplayList normal = ui::recordScreen(*window);
        button->setHighlighted(true);
        const cg::DisplayList pressed = ui::recordScreen(*window);
        button->setHighlighted(false);
        auto log = rt::make<ActionLog>();
        button->addTargetActionForControlEvents(log, rt::Sel("ping"), Event::TouchUpInside);
        bool highlightedInAction = true;
        log->onCall = [&, raw = button.get()] { highlightedInAction = raw->isHighlighted(); };
        tapAt(button, 50);
        EXPECT_FALSE(highlightedInAction) << &c - cases;
        EXPECT_FALSE(button->isHighlighted());
        EXPECT_TRUE(rt::equal(button->titleLabel()->textColor(), c.after)) << &c - cases;
        EXPECT_EQ(ui::Control::tappedThisTurn(), button);
        EXPECT_TRUE(ui::recordScreen(*window) == pressed) << "the frame of the tap's turn " << &c - cases;
        {
            const ui::Control::PressedLook look(button);
            EXPECT_TRUE(rt::equal(button->titleLabel()->textColor(), c.pressed)) << &c - cases;
        }
        EXPECT_TRUE(rt::equal(button->titleLabel()->textColor(), c.after)) << "the look goes back";
        ns::RunLoop::main()->runMode(ns::DefaultRunLoopMode, nullptr); // the tap's turn ends
        EXPECT_FALSE(ui::Control::tappedThisTurn());
        EXPECT_TRUE(ui::recordScreen(*window) == normal) << &c - cases;
    }
}

TEST(UIBarButtonItem, ATapSendsTheActionToItsWeakTarget) {
    auto log = rt::make<ActionLog>();
    auto item = ui::BarButtonItem::withTitle(ns::str("Retry"), ui::BarButtonItemStyle::Plain, log, rt::Sel("changed:"));
    EXPECT_TRUE(item->performAction());
    EXPECT_EQ(log->lastSender, item);
    item->setEnabled(false);
    EXPECT_FALSE(item->performAction());
    item->setEnabled(true);
    EXPECT_EQ(ns::valueForKey(item, "target"), log);
    EXPECT_EQ(log->calls.size(), 1u);

    rt::Weak<ActionLog> gone;
    {
        auto transient = rt::make<ActionLog>();
        gone = transient;
        item->setTarget(transient);
    }
    EXPECT_FALSE(gone.lock());
    EXPECT_FALSE(item->target());

    auto space = ui::BarButtonItem::fixedSpace(12);
    EXPECT_TRUE(space->isSpace());
    EXPECT_EQ(space->width(), 12);
    EXPECT_FALSE(space->performAction());
    auto custom = ui::BarButtonItem::withCustomView(rt::make<ui::Label>());
    EXPECT_TRUE(rt::cast<ui::Label>(custom->customView()));
}

// A text view delegate that keeps a trace of what it heard.
class NotesDelegate : public rt::Object {
    RT_CLASS(NotesDelegate)
public:
    void didChange(const rt::Ref<ui::TextView>& view) { trace.push_back("change:" + view->text()->utf8()); }
    void didEnd(const rt::Ref<ui::TextView>&) { trace.push_back("end"); }
    bool shouldChange(const rt::Ref<ui::TextView>&, ns::Range range, const rt::Ref<ns::String>& text) {
        trace.push_back("should:" + std::to_string(range.location) + "+" + std::to_string(range.length) + "'" +
                        text->utf8() + "'");
        return text->utf8() != "!";
    }
    std::vector<std::string> trace;

private:
    NotesDelegate() = default;
};

} // namespace

RT_DEFINE_CLASS(NotesDelegate, "UIKitTestNotesDelegate", rt::Object,
                rt::method("textViewDidChange:", &NotesDelegate::didChange),
                rt::method("textViewDidEndEditing:", &NotesDelegate::didEnd),
                rt::method("textView:shouldChangeTextInRange:replacementText:", &NotesDelegate::shouldChange))

namespace {

TEST(UITextView, TheDelegateHearsOfTypingButNotOfTextSetInCode) {
    auto view = rt::make<ui::TextView>(cg::Rect::make(0, 0, 100, 100));
    auto delegate = rt::make<NotesDelegate>();
    view->setDelegate(delegate);
    view->setText(ns::str("ab"));
    EXPECT_FALSE(view->insertText("x")) << "not editing";
    ASSERT_TRUE(view->becomeFirstResponder());
    EXPECT_TRUE(view->insertText("c"));
    EXPECT_FALSE(view->insertText("!"));
    EXPECT_TRUE(view->deleteBackward());
    EXPECT_EQ(delegate->trace, (std::vector<std::string>{"should:2+0'c'", "change:abc", "should:3+0'!'",
                                                         "should:2+1''", "change:ab"}));
    EXPECT_TRUE(view->resignFirstResponder());
    view->setEditable(false);
    EXPECT_FALSE(view->becomeFirstResponder());
}

TEST(UIDelegateProtocols, AreFoundByNameWithTheirEncodings) {
    const rt::Protocol* textView = rt::Protocol::named("UITextViewDelegate");
    ASSERT_EQ(textView, &ui::textViewDelegateProtocol());
    ASSERT_TRUE(textView->method(rt::Sel("textViewDidChange:"), false));
    EXPECT_EQ(textView->method(rt::Sel("textViewDidChange:"), false)->types, "v@:@");
    EXPECT_FALSE(textView->method(rt::Sel("textViewDidChange:"), true)) << "optional";
    const rt::Protocol* field = rt::Protocol::named("UITextFieldDelegate");
    ASSERT_TRUE(field);
    EXPECT_EQ(field->method(rt::Sel("textField:shouldChangeCharactersInRange:replacementString:"), false)->types,
              "B@:@{_NSRange=QQ}@");
    const rt::Protocol* picker = rt::Protocol::named("UIImagePickerControllerDelegate");
    ASSERT_TRUE(picker);
    EXPECT_EQ(picker->method(rt::Sel("imagePickerController:didFinishPickingMediaWithInfo:"), false)->types, "v@:@@");
    // The text field calls its delegate with the range's encoding.
    EXPECT_EQ(rt::Encoding<ns::Range>::text(), "{_NSRange=QQ}");
}

// An image picker delegate.
class PickerDelegate : public rt::Object {
    RT_CLASS(PickerDelegate)
public:
    void picked(const rt::Ref<ui::ImagePickerController>&, const rt::Ref<ns::Dictionary>& info) {
        trace.push_back("picked " + std::to_string(info->count()));
    }
    void cancelled(const rt::Ref<ui::ImagePickerController>&) { trace.push_back("cancelled"); }
    std::vector<std::string> trace;

private:
    PickerDelegate() = default;
};

} // namespace

RT_DEFINE_CLASS(PickerDelegate, "UIKitTestPickerDelegate", rt::Object,
                rt::method("imagePickerController:didFinishPickingMediaWithInfo:", &PickerDelegate::picked),
                rt::method("imagePickerControllerDidCancel:", &PickerDelegate::cancelled))

namespace {

TEST(UIImagePickerController, TalksToItsDelegateByName) {
    auto picker = rt::make<ui::ImagePickerController>();
    EXPECT_FALSE(picker->pickMedia(nullptr)) << "no delegate";
    auto delegate = rt::make<PickerDelegate>();
    picker->setDelegate(delegate);
    auto image = ui::Image::imageWithSize({10, 10});
    EXPECT_TRUE(picker->pickMedia(ns::Dictionary::withPairs({{ns::str(ui::UIImagePickerControllerOriginalImage), image}})));
    EXPECT_TRUE(picker->cancelPicking());
    EXPECT_EQ(delegate->trace, (std::vector<std::string>{"picked 1", "cancelled"}));

    sim::Profile noCamera = sim::defaultProfile();
    noCamera.removeCameras(sim::CameraPosition::Front);
    sim::ScopedDevice device(noCamera);
    EXPECT_TRUE(ui::ImagePickerController::isSourceTypeAvailable(ui::ImagePickerControllerSourceType::Camera));
    EXPECT_FALSE(ui::ImagePickerController::isCameraDeviceAvailable(ui::ImagePickerControllerCameraDevice::Front));
    noCamera.removeCameras(sim::CameraPosition::Back);
    sim::ScopedDevice none(noCamera);
    EXPECT_FALSE(ui::ImagePickerController::isSourceTypeAvailable(ui::ImagePickerControllerSourceType::Camera));
    EXPECT_TRUE(ui::ImagePickerController::isSourceTypeAvailable(ui::ImagePickerControllerSourceType::PhotoLibrary));
}

TEST(UIImagePickerController, IsANavigationControllerTheDelegateOfWhichIsTheNavigationDelegate) {
    auto picker = rt::make<ui::ImagePickerController>();
    EXPECT_TRUE(rt::cast<ui::NavigationController>(rt::Id(picker)));
    auto delegate = rt::make<PickerDelegate>();
    picker->setDelegate(delegate);
    EXPECT_EQ(rt::cast<ui::NavigationController>(rt::Id(picker))->delegate(), rt::Id(delegate));
}

TEST(UITextView, ContentSizeFollowsTheTextAtLayout) {
    auto view = rt::make<ui::TextView>(cg::Rect::make(0, 0, 200, 100));
    view->layoutIfNeeded();
    const double empty = view->contentSize().height;
    EXPECT_EQ(view->contentSize().width, 200);
    view->setText(ns::String::make(std::string(400, 'w')));
    EXPECT_EQ(view->contentSize().height, empty) << "measured at layout, not per keystroke";
    view->layoutIfNeeded();
    EXPECT_GT(view->contentSize().height, 3 * empty);
    EXPECT_EQ(view->contentSize().height, view->sizeThatFits({200, 0}).height);
}

TEST(UIImage, NamesComeFromTheRegistry) {
    EXPECT_FALSE(ui::Image::imageNamed("icon_registered_only"));
    EXPECT_FALSE(ui::Image::imageNamed(""));
    ui::Image::registerImageNamed("icon_registered_only", {24, 24});
    auto image = ui::Image::imageNamed("icon_registered_only");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->name()->utf8(), "icon_registered_only");
    auto view = ui::ImageView::withImage(image);
    EXPECT_EQ(view->frame(), cg::Rect::make(0, 0, 24, 24));
    EXPECT_FALSE(view->isUserInteractionEnabled());
    ui::Image::removeRegisteredImages();
    EXPECT_FALSE(ui::Image::imageNamed("icon_registered_only"));
}

TEST(UIColorAndFont, AreValues) {
    EXPECT_TRUE(rt::equal(ui::Color::redColor(), ui::Color::colorWithRed(1, 0, 0, 1)));
    EXPECT_EQ(ui::Color::redColor()->hash(), ui::Color::colorWithRed(1, 0, 0, 1)->hash());
    EXPECT_FALSE(rt::equal(ui::Color::clearColor(), ui::Color::blackColor()));
    EXPECT_EQ(ui::Color::colorWithWhite(2, -1)->description(), "UIExtendedSRGBColorSpace 1 1 1 0");
    EXPECT_EQ(ui::Color::whiteColor()->colorWithAlphaComponent(0.5)->alpha(), 0.5);
    auto set = ns::Set::withObjects({ui::Color::greenColor(), ui::Color::colorWithRed(0, 1, 0, 1)});
    EXPECT_EQ(set->count(), 1u);

    EXPECT_TRUE(rt::equal(ui::Font::systemFontOfSize(15), ui::Font::fontWithName(".SFUIText", 15)));
    EXPECT_FALSE(rt::equal(ui::Font::systemFontOfSize(15), ui::Font::boldSystemFontOfSize(15)));
    EXPECT_EQ(ui::Font::fontWithName("Helvetica", 0)->pointSize(), 17);
    EXPECT_FALSE(ui::Font::fontWithName("", 12));
    EXPECT_EQ(ui::Font::preferredFontForTextStyle(ui::Font::TextStyleHeadline)->fontName()->utf8(), ".SFUIText-Semibold");
    EXPECT_EQ(ns::valueForKey(ui::Font::systemFontOfSize(12), "pointSize")->description(), "12");
}

// Records the interceptable calls announced.
std::vector<std::string>& announced() {
    static std::vector<std::string> calls;
    return calls;
}
void recordAnnouncement(rt::Object&, const rt::Invocation& call) {
    announced().push_back(std::string(call.selector().name()));
}

class Cell : public ui::CollectionReusableView {
    RT_CLASS(Cell)
public:
    int prepared = 0;

protected:
    Cell() = default;
    void prepareForReuseBody() override {
        CollectionReusableView::prepareForReuseBody();
        ++prepared;
    }
};

} // namespace

RT_DEFINE_CLASS(Cell, "UIKitTestCell", ui::CollectionReusableView)

namespace {

TEST(UICollectionReusableView, PrepareForReuseIsAnnouncedOncePerCallWhenIntercepted) {
    announced().clear();
    rt::CallAnnouncer previous = rt::setCallAnnouncer(&recordAnnouncement);
    auto cell = rt::make<Cell>();
    cell->prepareForReuse();
    EXPECT_TRUE(announced().empty()) << "not intercepted";
    cell->setIntercepted(true);
    cell->prepareForReuse();
    rt::send(cell, rt::Sel("prepareForReuse"));
    cell->setIntercepted(false);
    rt::setCallAnnouncer(previous);
    EXPECT_EQ(cell->prepared, 3);
    EXPECT_EQ(announced(), (std::vector<std::string>{"prepareForReuse", "prepareForReuse"}));
}

TEST(UILayoutConstraint, IsKeptAsARecord) {
    auto view = rt::make<ui::View>(), other = rt::make<ui::View>();
    auto constraint = ui::LayoutConstraint::constraintWithItem(view, ui::LayoutAttribute::Width,
                                                               ui::LayoutRelation::Equal, other,
                                                               ui::LayoutAttribute::Width, 0.5, 10);
    view->addConstraint(constraint);
    EXPECT_TRUE(constraint->isActive());
    EXPECT_EQ(constraint->firstItem(), view);
    EXPECT_EQ(constraint->multiplier(), 0.5);
    ns::setValueForKey(constraint, ns::Number::withDouble(20), "constant");
    EXPECT_EQ(constraint->constant(), 20);
    ns::CapturedLog log;
    constraint->setPriority(0);
    EXPECT_EQ(constraint->priority(), ui::LayoutPriorityRequired);
    EXPECT_TRUE(log.contains("between 1 and 1000"));
    EXPECT_EQ(view->constraintList().size(), 1u);
    view->removeConstraint(constraint);
    EXPECT_FALSE(constraint->isActive());

    auto metrics = ns::Dictionary::withPairs({{ns::str("pad"), ns::Number::withInt(8)}});
    auto views = ns::Dictionary::withPairs({{ns::str("label"), view}});
    auto superview = rt::make<ui::View>();
    superview->addSubview(view);
    auto records = ui::LayoutConstraint::constraintsWithVisualFormat("H:|-pad-[label]-pad-|", 0x10000, metrics, views);
    ASSERT_EQ(records->count(), 2u); // each constraint of the format remembers it
    for (const rt::Id& object : *records) {
        auto record = rt::cast<ui::LayoutConstraint>(object);
        EXPECT_EQ(record->visualFormat()->utf8(), "H:|-pad-[label]-pad-|");
        EXPECT_EQ(record->formatOptions(), 0x10000u);
        EXPECT_EQ(record->metrics(), metrics);
        EXPECT_EQ(record->views(), views);
        EXPECT_EQ(record->constant(), 8);
    }

    // The items are held weakly: a view and its constraints make no cycle.
    rt::Weak<ui::View> weak = other;
    other = nullptr;
    EXPECT_FALSE(weak.lock());
    EXPECT_FALSE(constraint->secondItem());
}

} // namespace

namespace {

// Refuses to let its field stop editing.
class EndlessFieldDelegate : public rt::Object {
    RT_CLASS(EndlessFieldDelegate)
public:
    bool shouldEnd(const rt::Id&) { return false; }

private:
    EndlessFieldDelegate() = default;
};

} // namespace

RT_DEFINE_CLASS(EndlessFieldDelegate, "UIKitTestEndlessFieldDelegate", rt::Object,
                rt::method("textFieldShouldEndEditing:", &EndlessFieldDelegate::shouldEnd))

namespace {

// Each keyboard notification as "show:<top>+<height>" or "hide:<top>+<height>", with the curve and
// duration checked on the way.
class KeyboardLog {
public:
    KeyboardLog() {
        const auto& center = ns::NotificationCenter::defaultCenter();
        for (const char* name : {ui::UIKeyboardWillShowNotification, ui::UIKeyboardWillHideNotification})
            tokens_.push_back(center->addObserverForName(name, nullptr, nullptr, [this](const rt::Ref<ns::Notification>& note) {
                const auto& info = note->userInfo();
                EXPECT_EQ(rt::cast<ns::Number>(info->objectForKey(ui::UIKeyboardAnimationCurveUserInfoKey))->longValue(), 7);
                EXPECT_EQ(rt::cast<ns::Number>(info->objectForKey(ui::UIKeyboardAnimationDurationUserInfoKey))->doubleValue(), 0.25);
                const auto end = rt::cast<ns::Value>(info->objectForKey(ui::UIKeyboardFrameEndUserInfoKey))->get<cg::Rect>();
                const bool show = note->name()->utf8() == ui::UIKeyboardWillShowNotification;
                entries.push_back((show ? "show:" : "hide:") + std::to_string(long(end.minY())) + "+" +
                                  std::to_string(long(end.height())));
            }));
    }
    ~KeyboardLog() {
        for (const auto& token : tokens_) ns::NotificationCenter::defaultCenter()->removeObserver(token);
    }
    std::vector<std::string> entries;

private:
    std::vector<rt::Id> tokens_;
};

TEST(UIKeyboard, TextInputsPostWillShowAndWillHideOnceAsTheyTakeAndGiveUpFirstResponder) {
    struct Inputs {
        rt::Ref<ui::View> form = rt::make<ui::View>(cg::Rect::make(0, 0, 320, 480));
        rt::Ref<ui::TextField> field = rt::make<ui::TextField>(cg::Rect::make(0, 0, 100, 30));
        rt::Ref<ui::TextView> notes = rt::make<ui::TextView>(cg::Rect::make(0, 40, 100, 100));
        rt::Ref<ui::View> elsewhere = rt::make<ui::View>();
    };
    struct Case {
        const char* name;
        std::function<void(Inputs&)> steps;
        std::vector<std::string> expected;
    };
    const double screen = ui::Screen::mainScreen()->bounds().height();
    const auto at = [screen](const char* kind, double height, bool shown) {
        return kind + std::to_string(long(shown ? screen - height : screen)) + "+" + std::to_string(long(height));
    };
    const Case cases[] = {
        {"type then resign",
         [](Inputs& in) {
             in.field->becomeFirstResponder();
             in.field->becomeFirstResponder();
             in.field->resignFirstResponder();
             in.field->resignFirstResponder();
         },
         {at("show:", 216, true), at("hide:", 216, false)}},
        {"the accessory view adds its height",
         [](Inputs& in) {
             in.notes->setInputAccessoryView(rt::make<ui::View>(cg::Rect::make(0, 0, 320, 44)));
             in.notes->becomeFirstResponder();
             in.notes->resignFirstResponder();
         },
         {at("show:", 260, true), at("hide:", 260, false)}},
        {"handing over shows again without a hide",
         [](Inputs& in) {
             in.field->becomeFirstResponder();
             in.notes->becomeFirstResponder();
         },
         {at("show:", 216, true), at("show:", 216, true)}},
        {"endEditing on the form ends it, elsewhere not",
         [](Inputs& in) {
             in.field->becomeFirstResponder();
             EXPECT_TRUE(in.elsewhere->endEditing(false));
             EXPECT_TRUE(in.field->isFirstResponder());
             EXPECT_TRUE(in.form->endEditing(true));
             EXPECT_FALSE(in.field->isFirstResponder());
         },
         {at("show:", 216, true), at("hide:", 216, false)}},
        {"a plain view never shows the keyboard",
         [](Inputs& in) {
             EXPECT_FALSE(in.form->becomeFirstResponder());
             EXPECT_TRUE(in.form->endEditing(false));
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Inputs in;
        in.form->addSubview(in.field);
        in.form->addSubview(in.notes);
        KeyboardLog log;
        c.steps(in);
        EXPECT_EQ(log.entries, c.expected);
        in.form->endEditing(true);
    }
}

TEST(UIKeyboard, ForcedEndEditingOverridesAFieldThatRefusesToEnd) {
    auto form = rt::make<ui::View>();
    auto field = rt::make<ui::TextField>();
    form->addSubview(field);
    auto delegate = rt::make<EndlessFieldDelegate>();
    field->setDelegate(delegate);
    ASSERT_TRUE(field->becomeFirstResponder());
    EXPECT_FALSE(form->endEditing(false));
    EXPECT_TRUE(field->isFirstResponder());
    EXPECT_TRUE(form->endEditing(true));
    EXPECT_FALSE(field->isFirstResponder());
}

// An input leaving its window, itself or with an ancestor, ends its editing, even against a
// delegate that refuses; a move within the window keeps it editing.
TEST(UIKeyboard, AnInputLeavingItsWindowEndsItsEditing) {
    struct Case {
        const char* name;
        bool textView, refuses, ancestor; // the input, or its superview, moves
        int to; // 0 out of its superview, 1 to another window, 2 within the window
        bool editing;
    };
    const Case cases[] = {
        {"a refusing field removed", false, true, false, 0, false},
        {"a field's superview removed", false, false, true, 0, false},
        {"a text view's superview removed", true, false, true, 0, false},
        {"a field moved to another window", false, false, true, 1, false},
        {"a refusing field moved within the window", false, true, false, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto window = rt::make<ui::Window>(), other = rt::make<ui::Window>();
        auto form = rt::make<ui::View>(), box = rt::make<ui::View>();
        rt::Ref<ui::View> input = c.textView ? rt::Ref<ui::View>(rt::make<ui::TextView>(cg::Rect::zero()))
                                             : rt::make<ui::TextField>();
        form->addSubview(input);
        form->addSubview(box);
        window->addSubview(form);
        auto delegate = rt::make<EndlessFieldDelegate>();
        if (auto field = rt::cast<ui::TextField>(input); field && c.refuses) field->setDelegate(delegate);
        auto log = rt::make<NotesDelegate>();
        if (auto view = rt::cast<ui::TextView>(input)) view->setDelegate(log);
        KeyboardLog keyboard;
        ASSERT_TRUE(input->becomeFirstResponder());
        const rt::Ref<ui::View> moved = c.ancestor ? form : input;
        if (c.to == 0) moved->removeFromSuperview();
        else (c.to == 1 ? other : box)->addSubview(moved);
        EXPECT_EQ(input->isFirstResponder(), c.editing);
        if (auto field = rt::cast<ui::TextField>(input)) {
            EXPECT_EQ(field->isEditing(), c.editing);
        } else {
            EXPECT_EQ(log->trace, std::vector<std::string>{"end"});
        }
        EXPECT_EQ(keyboard.entries.size(), c.editing ? 1u : 2u); // the keyboard went away with it
        input->endEditing(true);
    }
}

} // namespace
