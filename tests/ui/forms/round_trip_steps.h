#pragma once
// The round trip's form file shown in the key window and filled by the tester's driver, one editing
// step at a time: shared by the round-trip test and its benchmark. A step that the screen does not
// let through answers false and keeps the first miss in `failure()`.

#include <initializer_list>
#include <string>
#include <string_view>

#include "ui/forms/form_controller.h"

namespace ns {
class MutableDictionary;
}

namespace testkit {
class AppFixture;
}

namespace ui {
class TableViewCell;
class Window;
} // namespace ui

namespace forms_test {

// The form's controller class, named by the form file; counts its button's action.
class RoundTripController : public fm::FormController {
    RT_CLASS(RoundTripController)
public:
    int sent = 0;
    rt::Id sentWith;
    void send(const rt::Id& element) {
        ++sent;
        sentWith = element;
    }
};

class RoundTripSteps {
public:
    // The form file's name in the main bundle.
    static constexpr const char* formFile = "round_trip_form";
    // The date the inline picker is spun to: 2026-01-03 09:00 UTC (the data holds 2026-01-01 10:00).
    static constexpr double pickedDate = 1767405600;

    // The data file of the main bundle as a mutable dictionary; its date (seconds since 1970 in
    // the file) made a date. Nil when the file does not read.
    static rt::Ref<ns::MutableDictionary> dataFromFile();

    RoundTripSteps(testkit::AppFixture& app, rt::Ref<ui::Window> window);
    ~RoundTripSteps();

    // A tree from the form file bound to the data, shown by `controllerForRoot` in a navigation
    // controller in the window.
    bool show(const rt::Id& data);
    // Every editing step, in the round trip's order.
    bool fill();

    // ---- The editing steps ----
    bool typeEntry(const char* key, std::string_view text);
    // Types into the entry, then "Next" to the autocomplete row, types the start of a candidate
    // and takes the completion with "Done".
    bool typeThenComplete(const char* key, std::string_view text, const char* next, std::string_view start);
    bool toggleSwitch(const char* key);
    bool slide(const char* key, float value);
    // Opens the radio row's list, taps the item and lets the list close itself.
    bool chooseRadio(const char* key, long item);
    // A tap unfolds the picker in the row; once it has faded in, a spin picks; a tap folds it.
    bool pickInlineDate(const char* key, double secondsSince1970);
    // The countdown's picker is its field's keyboard.
    bool setCountdown(const char* key, double seconds);
    bool editMultiline(const char* key, std::string_view more);
    bool editNested(const char* title, const char* key, std::string_view before, std::string_view text);
    bool tapButton(const char* title);
    bool tapSelectRows(const char* key, std::initializer_list<long> rows);
    bool moveSortingRow(const char* key, long from, long to);

    // The row's cell, scrolled into view as a tester looks for it.
    rt::Ref<ui::TableViewCell> cell(const char* key);
    const rt::Ref<RoundTripController>& controller() const noexcept { return controller_; }
    const rt::Ref<fm::RootElement>& form() const { return controller_->root(); }
    const std::string& failure() const noexcept { return failure_; }

private:
    rt::Ref<fm::FormTableView> table() const { return controller_->formTableView(); }
    bool typeEntryOnly(const char* key, std::string_view text);
    bool tapRowOf(const char* key);
    long sectionIndex(const char* key) const;
    rt::Ref<fm::RootElement> titled(std::string_view title) const;
    bool check(bool ok, std::string_view what);

    testkit::AppFixture& app_;
    rt::Ref<ui::Window> window_;
    rt::Ref<RoundTripController> controller_;
    std::string failure_;
};

} // namespace forms_test
