#include "ui/forms/elements/date_time_elements.h"

#include <cmath>
#include <string>
#include <utility>

#include "platform/foundation/calendar.h"
#include "platform/foundation/date_formatter.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/format.h"
#include "platform/foundation/time_zone.h"
#include "platform/runtime/class.h"
#include "platform/uikit/date_picker.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "ui/forms/elements/date_cells.h"
#include "ui/forms/form_controller.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/section.h"

namespace fm {

namespace {

constexpr long dateTimeCountdownMode = 3;
constexpr double dateTimePickerHeight = 200;

rt::Ref<ns::String> dateTimeText(const ns::Date& date, const std::string& pattern) {
    return ns::DateFormatter::withFormat(pattern)->stringFromDate(date);
}

std::string dateTimePattern(long mode) {
    using Style = ns::DateFormatterStyle;
    switch (mode) {
    case 0:
        return ns::DateFormatter::formatForStyles(Style::None, Style::Short);
    case 1:
        return ns::DateFormatter::formatForStyles(Style::Medium, Style::None);
    case 2:
        return ns::DateFormatter::formatForStyles(Style::Medium, Style::Short);
    default:
        return {};
    }
}

} // namespace

rt::Ref<ns::String> formatInterval(double seconds) {
    const long whole = seconds > 0 ? static_cast<long>(seconds) : 0;
    std::string text;
    if (whole >= 3600) text = ns::format("%d hrs, ", static_cast<int>(whole / 3600));
    text += ns::format("%d mins", static_cast<int>(whole / 60 % 60));
    return ns::String::make(text);
}

rt::Ref<ns::String> formatDateForMode(const ns::Date& date, long mode,
                                      const rt::Ref<ns::String>& customFormat) {
    return dateTimeText(date, customFormat ? customFormat->utf8() : dateTimePattern(mode));
}

// ---- DateTimeInlineElement ----------------------------------------------------------------------

DateTimeInlineElement::DateTimeInlineElement() : dateValue_(ns::Date::now()) {
    setKeepSelected(true);
}

DateTimeInlineElement::DateTimeInlineElement(rt::Ref<ns::String> key) : DateTimeInlineElement() {
    setKey(std::move(key));
}

DateTimeInlineElement::DateTimeInlineElement(rt::Ref<ns::String> title, rt::Ref<ns::Date> date, long mode)
    : EntryElement(LabelInit{}, std::move(title)), dateValue_(std::move(date)), mode_(mode) {
    if (dateValue_) setValue(ns::String::make(dateValue_->description()));
    setKeepSelected(true);
}

DateTimeInlineElement::~DateTimeInlineElement() = default;

rt::Ref<ns::Date> DateTimeInlineElement::dateValue() const {
    if (mode_ == 1 && dateValue_) {
        const auto calendar = ns::Calendar::currentCalendar();
        ns::DateComponents day = calendar->components(*dateValue_);
        day.hour = day.minute = day.second = 0;
        dateValue_ = calendar->dateFromComponents(day);
    }
    return dateValue_;
}

void DateTimeInlineElement::setDateValue(rt::Ref<ns::Date> date) {
    dateValue_ = std::move(date);
}

rt::Ref<ns::Number> DateTimeInlineElement::ticksValue() const {
    const rt::Ref<ns::Date> date = dateValue();
    return date ? ns::Number::withDouble(date->timeIntervalSince1970()) : nullptr;
}

void DateTimeInlineElement::setTicksValue(const rt::Ref<ns::Number>& ticks) {
    if (ticks) setDateValue(ns::Date::withTimeIntervalSince1970(ticks->doubleValue()));
}

rt::Ref<ns::String> DateTimeInlineElement::textValue() const {
    const rt::Ref<ns::Date> date = dateValue();
    const auto ahead = static_cast<long>(date ? date->timeIntervalSinceNow() : 0);
    return ns::String::make(ns::format("%02li:%02li:%02li", ahead / 3600, ahead / 60 % 60, ahead % 60));
}

rt::Ref<ns::String> DateTimeInlineElement::displayText() const {
    if (mode_ == dateTimeCountdownMode) {
        const rt::Ref<ns::Number> ticks = ticksValue();
        return formatInterval(ticks ? ticks->doubleValue() : 0);
    }
    const rt::Ref<ns::Date> date = dateValue();
    return date ? formatDateForMode(*date, mode_, customDateFormat()) : ns::String::make("");
}

void DateTimeInlineElement::configurePicker(ui::DatePicker& picker) const {
    picker.setTimeZone(ns::TimeZone::systemTimeZone());
    picker.sizeToFit();
    picker.setDatePickerMode(ui::DatePickerMode(mode_));
    picker.setMaximumDate(maximumDate_);
    picker.setMinimumDate(minimumDate_);
    picker.setMinuteInterval(minuteInterval_);
    if (mode_ != dateTimeCountdownMode) {
        if (rt::Ref<ns::Date> date = dateValue()) picker.setDate(std::move(date));
    } else if (const rt::Ref<ns::Number> ticks = ticksValue()) {
        picker.setCountDownDuration(ticks->doubleValue());
    }
}

void DateTimeInlineElement::takeValueFromPicker(const ui::DatePicker& picker) {
    if (mode_ != dateTimeCountdownMode)
        setDateValue(picker.date());
    else
        setTicksValue(ns::Number::withDouble(picker.countDownDuration()));
}

rt::Ref<ui::TableViewCell>
DateTimeInlineElement::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                           const rt::Ref<ui::ViewController>& controller) {
    setController(controller);
    return showPickerInCell_ ? getInlineCell(table) : getEntryCell(table);
}

rt::Ref<ui::TableViewCell> DateTimeInlineElement::getEntryCell(const rt::Ref<ui::TableView>& table) {
    // Both cells share the identifier: a cell of the other kind is left to the pool.
    auto cell = rt::cast<DateEntryTableViewCell>(reusableCell(table, "FMFormDateTimeInlineElement"));
    if (!cell) cell = rt::make<DateEntryTableViewCell>();
    cell_ = rt::Ref<ui::TableViewCell>(cell);
    cell->prepareForElement(rt::retained(this), table);
    cell->setSelectionStyle(isEnabled() ? ui::TableViewCellSelectionStyle::Blue
                                        : ui::TableViewCellSelectionStyle::None);
    if (const auto& field = cell->textField()) {
        field->setEnabled(isEnabled());
        field->setUserInteractionEnabled(isEnabled());
    }
    cell->imageView()->setImage(image());
    cell->setLabelingPolicy(labelingPolicy());
    return cell;
}

rt::Ref<ui::TableViewCell> DateTimeInlineElement::getInlineCell(const rt::Ref<ui::TableView>& table) {
    auto cell = rt::cast<DateInlineTableViewCell>(reusableCell(table, "FMFormDateTimeInlineElement"));
    if (!cell) cell = rt::make<DateInlineTableViewCell>();
    cell_ = rt::Ref<ui::TableViewCell>(cell);
    cell->prepareForElement(rt::retained(this));
    cell->setSelectionStyle(ui::TableViewCellSelectionStyle::None);
    cell->imageView()->setImage(image());
    cell->setLabelingPolicy(labelingPolicy());
    return cell;
}

void DateTimeInlineElement::performAction() {
    if (!showPickerInCell_) return;
    const rt::Ref<ui::TableViewCell> shown = cell();
    const bool wasEditing = shown && shown->isEditing();
    rt::Ref<FormTableView> table;
    for (rt::Ref<ui::View> up = shown ? shown->superview() : nullptr; up && !table; up = up->superview())
        table = rt::cast<FormTableView>(up);
    if (table) table->endEditingOnVisibleCells();
    if (shown) shown->setEditing(!wasEditing);
    if (table) table->reloadRowHeights();
}

double DateTimeInlineElement::getRowHeightForTableView(const rt::Ref<ui::TableView>& table) const {
    const double base = EntryElement::getRowHeightForTableView(table);
    const rt::Ref<ui::TableViewCell> shown = cell();
    return showPickerInCell_ && shown && shown->isEditing() ? base + dateTimePickerHeight : base;
}

void DateTimeInlineElement::fetchValueIntoObject(const rt::Id& object) {
    if (key() && object) object->setValueForKey(dateValue_, key()->utf8());
}

// ---- CountdownElement ---------------------------------------------------------------------------

// The base leaves its date as the moment of creation; the refusing setter is not reached.
CountdownElement::CountdownElement() : duration_(ns::Number::withInt(0)) {}

CountdownElement::~CountdownElement() = default;

rt::Ref<ns::Date> CountdownElement::dateValue() const {
    return ns::Date::now()->dateByAddingTimeInterval(duration_ ? duration_->doubleValue() : 0);
}

void CountdownElement::setDateValue(rt::Ref<ns::Date>) {
    ns::log("Don't set the date on the FMCountdownElement");
}

void CountdownElement::setTicksValue(const rt::Ref<ns::Number>& ticks) {
    duration_ = ticks;
}

rt::Ref<ui::TableViewCell>
CountdownElement::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                      const rt::Ref<ui::ViewController>& controller) {
    setMode(dateTimeCountdownMode);
    return DateTimeInlineElement::getCellForTableView(table, controller);
}

void CountdownElement::fetchValueIntoObject(const rt::Id& object) {
    if (key() && object) object->setValueForKey(duration_, key()->utf8());
}

// ---- DateTimeElement ----------------------------------------------------------------------------

DateTimeElement::DateTimeElement() {
    setGrouped(true);
    initializeRoot();
}

DateTimeElement::DateTimeElement(rt::Ref<ns::String> title, rt::Ref<ns::Date> date)
    : dateValue_(std::move(date)) {
    setGrouped(true);
    setTitle(std::move(title));
    initializeRoot();
}

DateTimeElement::~DateTimeElement() = default;

void DateTimeElement::setDateValue(rt::Ref<ns::Date> date) {
    dateValue_ = std::move(date);
    updateElements();
}

rt::Ref<ns::Number> DateTimeElement::ticksValue() const {
    return dateValue_ ? ns::Number::withDouble(dateValue_->timeIntervalSince1970()) : nullptr;
}

void DateTimeElement::setTicksValue(const rt::Ref<ns::Number>& ticks) {
    if (ticks) setDateValue(ns::Date::withTimeIntervalSince1970(ticks->doubleValue()));
}

void DateTimeElement::setMode(long mode) {
    mode_ = mode;
    setSections(nullptr);
    initializeRoot();
}

void DateTimeElement::setMinuteInterval(long interval) {
    minuteInterval_ = interval;
    setSections(nullptr);
    initializeRoot();
}

void DateTimeElement::initializeRoot() {
    const rt::Ref<ns::Date> date = dateValue_ ? dateValue_ : ns::Date::now();
    auto section = rt::make<Section>(ns::String::make(mode_ == 2 ? "\n" : "\n\n"));
    const auto row = [&](const char* key, long mode) {
        auto element = rt::make<DateTimeInlineElement>(ns::String::make(key));
        element->setDateValue(date);
        element->setCenterLabel(true);
        element->setMode(mode);
        element->setHiddenToolbar(true);
        section->addElement(element);
        return element;
    };
    if (mode_ == 1 || mode_ == 2) row("date", 1);
    if (mode_ == 0 || mode_ == 2) row("time", 0)->setMinuteInterval(minuteInterval_);
    addSection(section);
}

void DateTimeElement::updateElements() {
    const rt::Ref<ns::Date> date = dateValue_ ? dateValue_ : ns::Date::now();
    for (const char* key : {"date", "time"})
        if (auto element = rt::cast<DateTimeInlineElement>(elementWithKey(key))) element->setDateValue(date);
}

void DateTimeElement::takeValueFrom(const rt::Ref<ns::Dictionary>& values) {
    const auto picked = [&](const char* key) {
        return rt::cast<ns::Date>(values ? values->objectForKey(key) : nullptr);
    };
    rt::Ref<ns::Date> day, time;
    switch (mode_) {
    case 2:
        day = picked("date"), time = picked("time");
        break;
    case 1:
        day = picked("date"), time = ns::Date::now();
        break;
    case 0:
        day = ns::Date::now(), time = picked("time");
        break;
    default:
        ns::log("This control was not created to handle this time of UIDatePickerMode");
        return;
    }
    if (!day || !time) return;
    const auto calendar = ns::Calendar::currentCalendar();
    ns::DateComponents parts = calendar->components(*day);
    const ns::DateComponents clock = calendar->components(*time);
    parts.hour = clock.hour, parts.minute = clock.minute, parts.second = clock.second;
    setDateValue(calendar->dateFromComponents(parts));
}

rt::Ref<ui::TableViewCell>
DateTimeElement::getCellForTableView(const rt::Ref<ui::TableView>& table,
                                     const rt::Ref<ui::ViewController>& controller) {
    auto cell = RootElement::getCellForTableView(table, controller);
    const std::string pattern = mode_ >= 0 && mode_ <= 2 ? dateTimePattern(mode_) : std::string();
    cell->detailTextLabel()->setText(dateValue_ ? dateTimeText(*dateValue_, pattern) : nullptr);
    return cell;
}

void DateTimeElement::selected(const rt::Ref<ui::TableView>&, const rt::Ref<ui::ViewController>& controller,
                               const rt::Ref<ns::IndexPath>&) {
    const auto form = rt::cast<FormController>(controller);
    if (!sections() || !form) return;
    const rt::Ref<DateTimeElement> self = rt::retained(this);
    const rt::Ref<FormController> sub = form->makeControllerForRoot(self);
    if (!sub) return;
    sub->loadViewIfNeeded();
    const rt::Ref<FormTableView> table = sub->formTableView();
    if (table) table->setScrollEnabled(false);
    form->displayViewController(sub);
    rt::Weak<FormController> weakSub = sub;
    rt::Weak<DateTimeElement> weakSelf = self;
    sub->setWillDisappearCallback([weakSub, weakSelf] {
        const rt::Ref<FormController> closing = weakSub.lock();
        const rt::Ref<DateTimeElement> element = weakSelf.lock();
        if (!closing || !element || !closing->root()) return;
        const rt::Ref<Section> first = closing->root()->getSectionForIndex(0);
        const auto values = ns::MutableDictionary::make();
        if (first) first->fetchValueIntoObject(values);
        element->takeValueFrom(values);
    });
    if (table && table->numberOfSections() > 0 && table->numberOfRowsInSection(0) > 0)
        table->selectRowAtIndexPath(ns::IndexPath::indexPathForRowInSection(0, 0), false);
}

void DateTimeElement::fetchValueIntoObject(const rt::Id& object) {
    if (key() && object) object->setValueForKey(dateValue_, key()->utf8());
}

RT_DEFINE_CLASS(
    DateTimeInlineElement, "FMDateTimeInlineElement", EntryElement,
    rt::prop("dateValue", &DateTimeInlineElement::dateValue, &DateTimeInlineElement::setDateValue),
    rt::prop("ticksValue", &DateTimeInlineElement::ticksValue, &DateTimeInlineElement::setTicksValue),
    rt::prop("mode", &DateTimeInlineElement::mode, &DateTimeInlineElement::setMode),
    rt::prop("minuteInterval", &DateTimeInlineElement::minuteInterval,
             &DateTimeInlineElement::setMinuteInterval),
    rt::prop("centerLabel", &DateTimeInlineElement::centerLabel, &DateTimeInlineElement::setCenterLabel),
    rt::prop("maximumDate", &DateTimeInlineElement::maximumDate, &DateTimeInlineElement::setMaximumDate),
    rt::prop("minimumDate", &DateTimeInlineElement::minimumDate, &DateTimeInlineElement::setMinimumDate),
    rt::prop("showPickerInCell", &DateTimeInlineElement::showPickerInCell,
             &DateTimeInlineElement::setShowPickerInCell))
RT_DEFINE_CLASS(CountdownElement, "FMCountdownElement", DateTimeInlineElement)
RT_DEFINE_CLASS(DateTimeElement, "FMDateTimeElement", RootElement,
                rt::prop("dateValue", &DateTimeElement::dateValue, &DateTimeElement::setDateValue),
                rt::prop("ticksValue", &DateTimeElement::ticksValue, &DateTimeElement::setTicksValue),
                rt::prop("mode", &DateTimeElement::mode, &DateTimeElement::setMode),
                rt::prop("minuteInterval", &DateTimeElement::minuteInterval,
                         &DateTimeElement::setMinuteInterval))

} // namespace fm
