#pragma once
// The date and time rows.
//
// fm::DateTimeInlineElement ("FMDateTimeInlineElement"): an entry row holding a date and a picker
// mode (time 0, date 1, date and time 2, countdown 3). Its row either opens a date picker in place
// of the keyboard (fm::DateEntryTableViewCell) or, with showPickerInCell, unfolds one inside the
// row (fm::DateInlineTableViewCell), which a tap toggles and which makes the row 200 higher while
// shown. The value is shown by mode: short time, medium date, both, or the duration text; a
// customDateFormat replaces the styles. onValueChanged (the root's) hears the user's changes.
//
// fm::CountdownElement ("FMCountdownElement"): the same row fixed to the countdown mode, holding a
// duration in seconds behind ticksValue; its date is now plus the duration and cannot be set.
//
// fm::DateTimeElement ("FMDateTimeElement"): a grouped root showing its date in its row; a tap
// opens a sub-form of inline "date" and "time" rows (by mode) and takes the date back when it
// closes. Main thread only.

#include "platform/foundation/date.h"
#include "platform/runtime/number.h"
#include "ui/forms/elements/entry_element.h"

namespace ns {
class Dictionary;
}

namespace ui {
class DatePicker;
}

namespace fm {

class FormController;

// "%d hrs, " from an hour on, then "%d mins"; a negative duration counts as 0.
rt::Ref<ns::String> formatInterval(double seconds);
// The value text of a date in a picker mode: the mode's styles, or the custom format when set.
rt::Ref<ns::String> formatDateForMode(const ns::Date& date, long mode,
                                      const rt::Ref<ns::String>& customFormat);

class DateTimeInlineElement : public EntryElement {
    RT_CLASS(DateTimeInlineElement)
public:
    // In mode 1 the stored date is first cut to midnight of its day (local time) and kept so.
    virtual rt::Ref<ns::Date> dateValue() const;
    virtual void setDateValue(rt::Ref<ns::Date> date);
    // The date as seconds since 1970; nil is ignored.
    virtual rt::Ref<ns::Number> ticksValue() const;
    virtual void setTicksValue(const rt::Ref<ns::Number>& ticks);
    // The time from now to the date, "hh:mm:ss" of the whole seconds (hides the entry's text).
    rt::Ref<ns::String> textValue() const;
    long mode() const noexcept { return mode_; }
    void setMode(long mode) noexcept { mode_ = mode; }
    long minuteInterval() const noexcept { return minuteInterval_; }
    void setMinuteInterval(long interval) noexcept { minuteInterval_ = interval; }
    bool centerLabel() const noexcept { return centerLabel_; }
    void setCenterLabel(bool center) noexcept { centerLabel_ = center; }
    const rt::Ref<ns::Date>& maximumDate() const noexcept { return maximumDate_; }
    void setMaximumDate(rt::Ref<ns::Date> date) { maximumDate_ = std::move(date); }
    const rt::Ref<ns::Date>& minimumDate() const noexcept { return minimumDate_; }
    void setMinimumDate(rt::Ref<ns::Date> date) { minimumDate_ = std::move(date); }
    bool showPickerInCell() const noexcept { return showPickerInCell_; }
    void setShowPickerInCell(bool show) noexcept { showPickerInCell_ = show; }
    // The cell last made for the element (weak).
    rt::Ref<ui::TableViewCell> cell() const { return cell_.lock(); }

    // The value's text as both cells show it.
    rt::Ref<ns::String> displayText() const;
    // The picker set up for the element: local time zone, fitted, mode, bounds, interval, value.
    void configurePicker(ui::DatePicker& picker) const;
    // The picker's value taken as the element's (its date, or in mode 3 its duration).
    void takeValueFromPicker(const ui::DatePicker& picker);

    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    rt::Ref<ui::TableViewCell> getEntryCell(const rt::Ref<ui::TableView>& table);
    rt::Ref<ui::TableViewCell> getInlineCell(const rt::Ref<ui::TableView>& table);
    // With showPickerInCell: closes the pickers of the visible rows and opens this one's, or closes
    // it when it was open; the rows' heights are recomputed. Otherwise nothing.
    void performAction() override;
    double getRowHeightForTableView(const rt::Ref<ui::TableView>& table) const override;
    // The entry's, except with showPickerInCell: that cell has no text input to take the focus.
    bool canTakeFocus() const override { return !showPickerInCell_ && EntryElement::canTakeFocus(); }
    // The stored date under the key.
    void fetchValueIntoObject(const rt::Id& object) override;

protected:
    DateTimeInlineElement();
    explicit DateTimeInlineElement(rt::Ref<ns::String> key);
    // The label's title and value (the date's description), kept selected; then date and mode.
    DateTimeInlineElement(rt::Ref<ns::String> title, rt::Ref<ns::Date> date, long mode);
    ~DateTimeInlineElement() override;
    rt::Ref<ns::Date> storedDate() const { return dateValue_; }

private:
    mutable rt::Ref<ns::Date> dateValue_; // cut to its day on reading in mode 1
    rt::Ref<ns::Date> maximumDate_, minimumDate_;
    long mode_ = 0;
    long minuteInterval_ = 0;
    bool centerLabel_ = false;
    bool showPickerInCell_ = false;
    rt::Weak<ui::TableViewCell> cell_;
};

class CountdownElement : public DateTimeInlineElement {
    RT_CLASS(CountdownElement)
public:
    // Now plus the duration.
    rt::Ref<ns::Date> dateValue() const override;
    // Refused with a log line.
    void setDateValue(rt::Ref<ns::Date> date) override;
    rt::Ref<ns::Number> ticksValue() const override { return duration_; }
    void setTicksValue(const rt::Ref<ns::Number>& ticks) override;
    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    // The duration (seconds, a number) under the key.
    void fetchValueIntoObject(const rt::Id& object) override;

protected:
    CountdownElement();
    ~CountdownElement() override;

private:
    rt::Ref<ns::Number> duration_;
};

class DateTimeElement : public RootElement {
    RT_CLASS(DateTimeElement)
public:
    const rt::Ref<ns::Date>& dateValue() const noexcept { return dateValue_; }
    // Stores, then shows the date in the sub-form.
    void setDateValue(rt::Ref<ns::Date> date);
    rt::Ref<ns::Number> ticksValue() const;
    void setTicksValue(const rt::Ref<ns::Number>& ticks);
    long mode() const noexcept { return mode_; }
    // Both rebuild the sub-form.
    void setMode(long mode);
    long minuteInterval() const noexcept { return minuteInterval_; }
    void setMinuteInterval(long interval);

    // The sub-form: one section of the "date" and "time" rows the mode asks for.
    void initializeRoot();
    // The sub-form's rows show dateValue (now when it is nil).
    void updateElements();
    // Takes the date back from a closed sub-form's values ("date" and "time" dates) by mode.
    void takeValueFrom(const rt::Ref<ns::Dictionary>& values);

    rt::Ref<ui::TableViewCell> getCellForTableView(const rt::Ref<ui::TableView>& table,
                                                   const rt::Ref<ui::ViewController>& controller) override;
    // Opens the sub-form: scrolling off, first row selected, its value taken back on closing.
    void selected(const rt::Ref<ui::TableView>& table, const rt::Ref<ui::ViewController>& controller,
                  const rt::Ref<ns::IndexPath>& indexPath) override;
    void fetchValueIntoObject(const rt::Id& object) override;

protected:
    DateTimeElement();
    // Builds the sub-form too.
    DateTimeElement(rt::Ref<ns::String> title, rt::Ref<ns::Date> date);
    ~DateTimeElement() override;

private:
    rt::Ref<ns::Date> dateValue_;
    long mode_ = 2;
    long minuteInterval_ = 0;
};

} // namespace fm
