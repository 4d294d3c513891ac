#pragma once
// ft::ColorFillViewController ("ColorFillViewController"): the colour fill test that the full-screen
// fill (fill_color_view_controller.h) and the two-colour fill (fill_lcd_color_view_controller.h)
// both run, told apart by their Design: the colours, the bare period, the question and the retry
// button's room for the device's safe area.
//
// The screen fills its view with one plain colour after another, the navigation and status bars
// hidden while it shows. Each colour is first bare for the period (the first from viewDidLoad), then
// the question, the YES/NO buttons and the retry button show. YES moves to the next colour, bare
// again, or on the last passes; NO fails at once; retry hides everything for another period on the
// same colour. Each colour has a row in subItemlist ("title": the question naming it) that takes
// the answer ("result" 1 or 2); a NO drops the rows after its own.
//
// When the screen disappears the bars come back and checkResult settles the item's code from the
// rows: all answered YES 1, a NO 2; left with a colour unanswered, the item's lastCode (2 when it
// has none), or in a retry its endTestCode. A segue to the results screen hands it the code first
// (setResult:). The timers and handlers hold the screen weakly; none ends with disappear, so a tick
// due after the screen has gone does nothing. Main thread only.

#include <cstdint>
#include <string>
#include <vector>

#include "session/base_model_view_controller.h"

namespace ns {
class MutableArray;
class String;
} // namespace ns

namespace ui {
class Color;
class LayoutConstraint;
class TextView;
class View;
} // namespace ui

namespace ft {

class ColorFillViewController : public BaseModelViewController {
    RT_CLASS(ColorFillViewController)
public:
    // The colour entries, in test order: mutable dictionaries of "color" and "labelColor" (the fill
    // and the question's text), "name" (localised) and "result" (0, which the flow never changes).
    const rt::Ref<ns::MutableArray>& colors() const noexcept { return colors_; }
    void setColors(rt::Ref<ns::MutableArray> colors);
    // The colour on screen; from 0.
    std::int64_t count() const noexcept { return count_; }
    void setCount(std::int64_t count);

    // ---- Outlets ----
    rt::Ref<ui::Label> label() const; // the question
    void setLabel(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::Label> testLabel() const; // in the scene, never used
    void setTestLabel(const rt::Ref<ui::Label>& label);
    rt::Ref<ui::TextView> textView() const; // fillTextView's
    void setTextView(const rt::Ref<ui::TextView>& view);
    rt::Ref<ui::Button> hideButtons() const; // the retry button
    void setHideButtons(const rt::Ref<ui::Button>& button);

    // The item's code from the rows, as told above.
    void checkResult();
    // A line per colour into textView (the question naming it, then its result's small icon), up to
    // the first colour without a result; textView shown at (110, 110). The flow never calls it.
    void fillTextView();

    // The fill screens' scene over the view: the question, the unused label, the text view and the
    // retry button across the top, placed by constraints; answers the button's height constraint.
    static rt::Ref<ui::LayoutConstraint> addFillViews(const rt::Ref<ui::View>& view,
                                                      ColorFillViewController& owner);

protected:
    struct Colour {
        rt::Ref<ui::Color> (*fill)();
        rt::Ref<ui::Color> (*text)();
        const char* nameKey;
    };
    struct Design {
        std::vector<Colour> colours;
        double barePeriod = 0;
        // The question is the item's own rather than the one naming the colour.
        bool asksItemsQuestion = false;
    };
    explicit ColorFillViewController(Design design);
    ~ColorFillViewController() override;

    void viewDidLoadBody() override;
    void viewWillDisappearBody(bool animated) override;
    void prepareForSegueBody(const rt::Ref<ui::StoryboardSegue>& segue, const rt::Id& sender) override;
    // Room for the device's safe area, before the retry button gets its title; none by default.
    virtual void fitRetryButton() {}

private:
    // The question that goes with the colour entry.
    rt::Ref<ns::String> question(const rt::Id& entry) const;
    // The colour at `count` fills the view and colours the question.
    void showColour();
    void setAsking(bool asking);
    // A bare period, then the question.
    void waitBare();
    void answer(bool yes);
    void setRowResult(std::int64_t code);
    void setBarsHidden(bool hidden);

    const Design design_;
    rt::Ref<ns::MutableArray> colors_;
    std::int64_t count_ = 0;
    rt::Weak<ui::Label> label_, testLabel_;
    rt::Weak<ui::TextView> textView_;
    rt::Weak<ui::Button> hideButtons_;
};

} // namespace ft
