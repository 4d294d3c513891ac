#pragma once
// The tester's hands and eyes on a running application: the calls a tester's actions map to
// (tap, type, tap a row, press a dialog button, tap back, hand over a URL, background and
// foreground) and what a tester sees (the controller on screen, the navigation stack, dialogs,
// labels). The main job's script runner and the tests' application fixture both drive through it.
//
// Every call runs the main queue until idle after it. A driver records the application's exit:
// while it lives, ui::Application::exitProcess calls it (the user defaults are written by then),
// which keeps the status and halts all stepping, so time no longer moves and queued work no longer
// runs. The halt is the driver's own: it ends with the driver. A call on an application that has
// exited does nothing and fails.
//
// Input goes only where a person's finger would: one place, coverAt, decides what a finger
// reaches, and every tap, row tap, slide, scroll, spin, dialog press, typed key and stroke asks it.
// The newest alert, action sheet or permission question presented covers the whole screen, the
// dialogs presented before it included; under no dialog, a control's centre must be on screen in
// the key window and the control must be what a hit test from the window finds there (itself or
// a view inside it, not a HUD or another view over it), with no transition running. An input that
// cannot land is refused: nothing happens, the call answers false and `refusal()` says why
// ("covered by alert "Quarnotix": "Skip this test? It will count as failed."", "covered by HUD
// "Sending"", "covered by UIView", "off screen", "a transition is running"). `reveal` scrolls the
// tables that hold a view until its centre shows, as a person scrolls to a row, and only where a
// finger could scroll them (scrollRefusal).
//
// What a person sees is decided in one place too, unseenReason, and every check reads through it:
// a view's text is seen only when the view and its ancestors are shown (not hidden, not
// transparent), some of it lies within every view above it that clips and within the key window,
// and no dialog or HUD covers it. The newest dialog presented covers the whole screen and the
// dialogs before it; a HUD covers what lies under it. A dialog's own texts, an alert's or a
// sheet's, are seen while it is presented and no dialog presented after it covers it.
//
// Failures a tester would not cause (an outlet that holds no control, text that is no URL, a call
// after the exit) go to the reporter as well; an ordinary "could not" (a hidden control) only
// answers false. Main thread only; one driver at a time.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/dictionary.h"
#include "platform/uikit/application.h"

namespace ns {
class IndexPath;
}
namespace ui {
class ActionSheet;
class AlertView;
class BarButtonItem;
class ButtonDialog;
class Control;
class DatePicker;
class Event;
class NavigationController;
class SegmentedControl;
class TableView;
class TableViewCell;
class TextField;
class TextView;
class View;
class ViewController;
class Window;
class Slider;
class ImagePickerController;
class Image;
} // namespace ui

namespace sim {

class Driver {
public:
    using Reporter = std::function<void(const std::string& failure)>;

    // Installs the exit handler; the destructor puts the previous one back.
    explicit Driver(rt::Ref<ui::Application> app, Reporter report = {});
    ~Driver();
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // ---- Lifecycle ----
    bool launch(const rt::Ref<ns::Dictionary>& options = nullptr);
    // Hands the application a URL; what its delegate answered (false, reported, for text that is
    // no URL).
    bool openURL(std::string_view text);
    void enterBackground();
    void enterForeground();
    bool fireBackgroundTaskExpiry(std::uint64_t identifier);
    void runUntilIdle();

    // ---- Touches and typing ----
    // Taps the control at its centre. False, and nothing happens, for a control a tester could
    // not tap: hidden, disabled, transparent or taking no touches, or inside a hidden ancestor.
    bool tap(const rt::Ref<ui::Control>& control);
    // Taps the control the object holds under that outlet (key); false as tap, reported when the
    // outlet holds no control.
    bool tapOutlet(const rt::Id& owner, std::string_view outlet);
    // Fires the view's enabled tap recognisers with one touch at its centre; false when it has
    // none, or the view could not be touched.
    bool tapView(const rt::Ref<ui::View>& view);
    // Taps a bar button item; false when it is disabled, has no action or could not be touched.
    bool tapItem(const rt::Ref<ui::BarButtonItem>& item);
    // A tap on the scene's control connected to the action: the action goes to the controller on
    // screen, with no sender. Refused as a tap on that control is when the screen shows controls
    // sending it (none reached), and under a dialog; false when the controller on screen does not
    // answer it.
    bool sendAction(std::string_view action);
    // Begins editing (false when the field refuses, or could not be tapped), then types the text
    // one character at a time: one editing-changed event per character the delegate lets in. Text
    // for a secure entry, and the entry's value with it, are kept among secureTexts(); text that
    // went into a field or view that is not secure among shownTexts().
    bool typeText(const rt::Ref<ui::TextField>& field, std::string_view text);
    bool typeText(const rt::Ref<ui::TextView>& view, std::string_view text);
    // The keyboard's hide key: ends the field's or view's editing. False, and nothing happens,
    // under a dialog (the keyboard is covered too).
    bool endEditing(const rt::Ref<ui::TextField>& field);
    bool endEditing(const rt::Ref<ui::TextView>& view);
    // Keys on a field that edits (false, and nothing happens, when it does not, or the delegate
    // refused): the delete key; a whole string pasted at the end at once; `range` (UTF-16 units)
    // replaced, as a selection typed over; the return key.
    bool deleteBackward(const rt::Ref<ui::TextField>& field);
    bool paste(const rt::Ref<ui::TextField>& field, std::string_view text);
    bool replace(const rt::Ref<ui::TextField>& field, ns::Range range, std::string_view text);
    bool pressReturn(const rt::Ref<ui::TextField>& field);

    // ---- Tables and dialogs ----
    // Taps a row, scrolled into view first as a tester would: the table asks its delegate's
    // will-select, selects the row and tells its delegate. False, and nothing happens, for a row
    // the table does not have, a table that allows no selection or a refused will-select, or a
    // row a tester could not touch; `refusal()` says which.
    bool tapRow(const rt::Ref<ui::TableView>& table, long row, long section = 0);
    // Scrolls the row into view (and the tables around the table), as a tester looks for a row:
    // its cell. A row that shows already is not scrolled to; one that does not is scrolled to
    // only where a finger could scroll (scrollRefusal). Nil for a row the table does not have or
    // one a finger could not bring into view, `refusal()` saying which.
    rt::Ref<ui::TableViewCell> revealRow(const rt::Ref<ui::TableView>& table, long row, long section = 0);
    // The tester's swipe: moves the table's content to the offset (its bounds' origin), which
    // shows the rows there. False for a table that does not scroll or could not be touched.
    bool scrollTo(const rt::Ref<ui::TableView>& table, cg::Point offset);
    // On a row scrolled into view, as tapRow: a tap on its accessory button (the delegate hears
    // it); a swipe and delete (the data source commits the delete style); a drag to `to` (the
    // delegate's target, the data source's move, then the table) answering where the row went.
    // False or nil, and nothing happens, for a row the table does not have or a tester could not
    // touch, or a data source that does not commit.
    bool tapAccessory(const rt::Ref<ui::TableView>& table, long row, long section = 0);
    bool commitDelete(const rt::Ref<ui::TableView>& table, long row, long section = 0);
    rt::Ref<ns::IndexPath> moveRow(const rt::Ref<ui::TableView>& table, const rt::Ref<ns::IndexPath>& from,
                                   const rt::Ref<ns::IndexPath>& to);
    // Presses button `index` of a dialog on screen; false when it is not on screen, has no such
    // button or a dialog presented after it covers it.
    bool press(const rt::Ref<ui::ButtonDialog>& dialog, long index);

    // ---- Pickers and segments ----
    // Spins the picker to the date (held to its bounds) or the duration, as a person does: the
    // value changes and value-changed (4096) is sent. False, and nothing happens, for a disabled
    // picker or one a finger could not touch (as tap: covered, hidden, off screen); a picker in a
    // field's input view, in the keyboard's place, counts as shown while the field edits, and only
    // a dialog covers it.
    bool pickDate(const rt::Ref<ui::DatePicker>& picker, double secondsSince1970);
    bool pickDuration(const rt::Ref<ui::DatePicker>& picker, double seconds);
    // Taps the centre of segment `index`: false for a control a tester could not tap (as tap) or an
    // index past the last segment.
    bool tapSegment(const rt::Ref<ui::SegmentedControl>& control, long index);

    // ---- Navigation ----
    // The controller on screen: from the key window's root, through what each controller presents
    // and each navigation controller's top. Nil without a key window or a root.
    rt::Ref<ui::ViewController> topViewController() const;
    // The class names of the stack of the navigation controller on screen, bottom first.
    std::vector<std::string> navigationStack() const;
    // The navigation controller whose top is on screen, or nil.
    rt::Ref<ui::NavigationController> navigationOnScreen() const;
    // Taps the back button of the navigation controller on screen, as tap does. False, and nothing
    // happens, when a dialog covers the screen, when there is none, its bar is hidden or shows no
    // back button ("no back button is on screen"), or the tap would not land; `refusal()` says why.
    bool tapBack();

    // ---- Sliders and pickers ----
    // Drags the slider to the value (held to its range) and sends value changed; false, and
    // nothing happens, for a slider a tester could not touch.
    bool slide(const rt::Ref<ui::Slider>& slider, float value);
    // The user's pick of an image (the info's original image) and the user's cancel, through the
    // picker's own calls; false when the picker's delegate does not answer.
    bool pickImage(const rt::Ref<ui::ImagePickerController>& picker, const rt::Ref<ui::Image>& image);
    bool cancelPicker(const rt::Ref<ui::ImagePickerController>& picker);

    // ---- Observing ----
    const rt::Ref<ui::Application>& app() const noexcept { return app_; }
    std::optional<std::string> labelText(const rt::Id& owner, std::string_view outlet) const;
    // The texts of the labels in the view's tree, in order (those not empty).
    static std::vector<std::string> labelTexts(const ui::View& view);
    std::vector<std::string> openedURLs() const;
    // The texts of the progress HUDs on screen (label and detail, those not empty); empty when none
    // shows. The HUDs are the application's own views, above this layer: what the reader set with
    // setHUDReader answers, each HUD's view, its texts and the part of its view that hides what
    // lies under it (the main job sets one); none set, nothing shows, and a view over a target is
    // named by its class.
    std::vector<std::string> hudTexts() const;
    struct HUDShown {
        rt::Ref<ui::View> view;
        std::vector<std::string> texts;
        // In the view's coordinates: its box, or its whole bounds when it dims what lies under it;
        // none, the whole view.
        std::optional<cg::Rect> covers{};
    };
    using HUDReader = std::function<std::vector<HUDShown>()>;
    static void setHUDReader(HUDReader reader);
    // What a tester sees on top and could use there, for a person to read: the dialog shown, if
    // any (its title, message and buttons, nothing under it being reachable), else the screen's
    // class, its navigation title, the texts of its labels that show and the accessibility values
    // of its other views that show (how a screen says its state: the touch grid's cells left),
    // and its controls a tap would reach, each as a tester finds it ("Yes" (successButton): a
    // button's title and the outlet holding it; else its accessibility label; else the action it
    // sends the screen, "send action=reportToTempServer"), the back button; and the HUD's texts.
    struct Sight {
        std::string screen;                // the controller's class, or "alert" / "sheet"
        std::vector<std::string> texts;    // title first
        std::vector<std::string> controls; // "\"Yes\" (successButton)", "send action=onEnd:", "back"
        std::vector<std::string> hud;
    };
    Sight sight() const;
    std::optional<int> exitStatus() const noexcept { return exitStatus_; }
    // False (reported) once the application has exited.
    bool running() const;

    // Why the last tap, typing or row tap that answered false was refused ("disabled", "covered by
    // UILabel", ...); empty after one that went through.
    const std::string& refusal() const noexcept { return refusal_; }
    // The texts typed, pasted or put in place at secure text entries so far, refused or not, and
    // each such entry's value before and after (whole or typed in parts): a check shows them as
    // "***", and each is a secret of the run (sim::addRunSecret, masked as "***").
    const std::set<std::string, std::less<>>& secureTexts() const noexcept { return secureTexts_; }
    // Keeps a text as the secure entries' texts are kept (a check's text on a secure entry, which
    // is its value by construction).
    void keepSecureText(std::string_view text);
    // The texts that went into a field or text view that is not secure, and never at a secure one:
    // the only typed texts a step shows.
    const std::set<std::string, std::less<>>& shownTexts() const noexcept { return shownTexts_; }
    // Why a person's tap at the view's centre would not reach it now; empty when it would.
    std::string tapRefusal(const ui::View& view) const;
    // What covers `target` from a person's finger at `point` (the key window's coordinates), as
    // "covered by ...": the newest dialog presented, over the whole screen and any dialog before
    // it (the target may be a dialog); else, under no dialog, the view the window's hit test finds
    // at the point when it is neither the target nor inside it, a HUD by its texts, another view
    // by its class ("out of reach" for nothing). Empty when the finger reaches the target. Without
    // a target (a touch at a point, a key of the keyboard) only a dialog covers.
    std::string coverAt(cg::Point point, const ui::View* target = nullptr) const;
    // A dialog as a tester names it: alert "Quarnotix": "Skip this test? It will count as
    // failed.", sheet "What would you like to do?" (the texts printable, each cut at `limit` bytes).
    static std::string dialogText(const ui::ButtonDialog& dialog, std::size_t limit);
    // A push, pop, presentation or dismissal is under way on screen.
    bool transitionRunning() const;
    // Scrolls each table that holds the view so that the view's centre shows in it, where a
    // finger could scroll it: false, the refusal kept, at the first table that needs scrolling and
    // that a finger could not scroll.
    bool reveal(const ui::View& view);
    // Why a person's finger could not scroll the table now: a dialog over the screen, the table
    // hidden, transparent or not scrolling, a transition running, the table off screen, or
    // something over it at the centre of its part that shows (coverAt); empty when it could.
    std::string scrollRefusal(const ui::TableView& table) const;

    // ---- What a person sees ----
    // Why a person would not see the view now, as words that follow its name ("hidden", "hidden
    // (an enclosing view)", "transparent", "outside the bounds of its UITableView", "off screen",
    // "not on screen", "not shown" (a dialog no longer presented), "covered by alert "Quarnotix":
    // "Skip this test?"", "covered by HUD "Sending""); empty when they would. A HUD covers the view
    // when it is drawn above it and over the centre of the view's part that shows.
    std::string unseenReason(const ui::View& view) const;
    // The texts of the labels in the view's tree that a person sees (unseenReason), in order, those
    // not empty.
    std::vector<std::string> seenLabelTexts(const ui::View& view) const;
    // The texts of the HUDs a person sees (a dialog covers every HUD); when none, `why` (if given)
    // says why: "no HUD shows", or the dialog covering them.
    std::vector<std::string> seenHUDTexts(std::string* why = nullptr) const;

    // Why a tester could not touch the view ("hidden", "transparent", "not taking touches",
    // each possibly of an ancestor); empty when it can be touched.
    static std::string untouchableReason(const ui::View& view);
    // The same for the eyes: "hidden" or "transparent", possibly of an ancestor; empty when shown.
    static std::string unshownReason(const ui::View& view);
    static bool canTouch(const ui::View& view) { return untouchableReason(view).empty(); }
    // A touch event at the view's centre, in window coordinates: its one touch has begun. Pass it
    // to touchesBegan, then finishTouch, then touchesEnded.
    static rt::Ref<ui::Event> touchAtCentre(const rt::Ref<ui::View>& view);
    static void finishTouch(const rt::Ref<ui::Event>& event);

private:
    void report(const std::string& failure) const;
    // False, with the refusal kept, when a tap on the view would not land.
    bool reaches(const ui::View& view, bool enabled = true);
    // False, with the refusal kept, when a dialog covers the screen: what an input with no place
    // of its own to hit (a key of the keyboard, an input view's picker, a presented picker, a
    // table to scroll) needs first.
    bool screenUncovered();
    static std::vector<HUDShown> huds();
    // A HUD as a cover names it: HUD "Sending" "Please wait".
    static std::string hudName(const HUDShown& hud);
    // The row's cell scrolled into view when a tester could touch it; else nil, the refusal kept.
    rt::Ref<ui::TableViewCell> touchableRow(const rt::Ref<ui::TableView>& table, long row, long section);
    // The picker change as a person's spin: refused when disabled or hidden, then value-changed.
    bool spin(const rt::Ref<ui::DatePicker>& picker, const std::function<void(ui::DatePicker&)>& change);
    // Scrolls the table so that its content's point at `y` shows, where a finger could: false, the
    // refusal kept, when it needs scrolling and could not be scrolled.
    bool showInTable(ui::TableView& table, double y);
    bool typeInto(ui::View& view, std::string_view text, const std::function<bool(std::string_view)>& insert);
    // Runs a key (that puts `typed` in) on a field that edits, then the main queue; false when it
    // does not edit.
    bool onEditingField(const rt::Ref<ui::TextField>& field, std::string_view typed,
                        const std::function<bool(ui::TextField&)>& key);
    // Before and after typing at a secure entry: the text typed and the entry's value with it are
    // secure texts.
    void noteSecureTyping(const ui::TextField& field, std::string_view typed);
    void noteShownTyping(std::string_view typed);

    rt::Ref<ui::Application> app_;
    Reporter report_;
    std::optional<int> exitStatus_;
    bool halted_ = false; // this driver halted the stepping at the exit
    std::string refusal_;
    std::set<std::string, std::less<>> secureTexts_, shownTexts_;
    ui::Application::ExitHandler previousExitHandler_;
};

} // namespace sim
