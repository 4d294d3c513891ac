#pragma once
// ft::BatteryViewController ("BatteryViewController"): the battery information test (key
// "BATTERY"). A table shows the charge and, by system version (read as a number: 10.3.3 is 10.3),
// more of the battery's health:
//   12.0 and later  the charge row; the bundle's "batteryinfo" capacity for this model and the
//                   device's level, re-read on each level change (delivered on the main queue)
//   10.0 to 12.0    the charge and the voltage, from the charger registry listener
//   below 10.0      charge, capacity (full charge against design), voltage, cycles, temperature
//                   and discharge current, from the allocator-watching listener
// Listening runs from appearance to disappearance; each reading reloads the table. The observers
// end when the screen disappears or goes away, and an appearance never adds a second one. The
// tester decides: success writes 1, fail 2, then the screen leaves. No timer, no rows, no ratio.
// Main thread only.

#include <cstdint>

#include "platform/graphics/geometry.h"
#include "session/base_model_view_controller.h"

namespace ds {
class DeviceListener;
class IOKitListener;
} // namespace ds
namespace ns {
class IndexPath;
class Notification;
} // namespace ns
namespace ui {
class LayoutConstraint;
class TableView;
class TableViewCell;
} // namespace ui

namespace ft {

class BatteryViewController : public BaseModelViewController {
    RT_CLASS(BatteryViewController)
public:
    static constexpr double kBarRowHeight = 71;
    static constexpr double kRowHeight = 44;
    static constexpr double kHeaderHeight = 50;
    // The header's text: one size to measure and draw it, readable in a picture.
    static constexpr double kHeaderFontSize = 13;

    rt::Ref<ui::TableView> tableView() const;
    void setTableView(const rt::Ref<ui::TableView>& table);
    rt::Ref<ui::LayoutConstraint> tableviewtop() const;
    void setTableviewtop(const rt::Ref<ui::LayoutConstraint>& constraint);
    const rt::Ref<ds::IOKitListener>& listenerIso10() const noexcept { return listenerIso10_; }
    const rt::Ref<ds::DeviceListener>& listener() const noexcept { return listener_; }

    double maxCapacity = 0;
    double designCapacity = 0;
    double currentCapacity = 0;
    std::int64_t cycleCount = 0;
    std::int64_t voltage = 0;     // millivolts
    std::int64_t temperature = 0; // hundredths of a degree Celsius
    std::int64_t discharge = 0;   // milliamperes

    // Readings: the registry listener's dictionary; the captured dictionary in `notification`.
    void ioKitDataUpdated();
    void listenerDataUpdated(const rt::Ref<ns::Notification>& notification);

    long tableViewNumberOfRowsInSection(const rt::Id& table, long section) const;
    rt::Id tableViewCellForRowAtIndexPath(const rt::Id& table, const rt::Ref<ns::IndexPath>& indexPath);
    double tableViewHeightForRowAtIndexPath(const rt::Id& table,
                                            const rt::Ref<ns::IndexPath>& indexPath) const;
    rt::Ref<ns::String> tableViewTitleForHeaderInSection(const rt::Id& table, long section) const;
    rt::Id tableViewViewForHeaderInSection(const rt::Id& table, long section) const;
    double tableViewHeightForHeaderInSection(const rt::Id& table, long section) const;

    // The charge a level shows: two decimals, halves away from zero (-1, no reading, stays -1).
    static double chargeValue(double level);
    // Where the header's label goes for `title` in a header `width` wide: measured at
    // kHeaderFontSize within the width less 8 at each side (240 at least), centred on 25 and 10
    // lower, or less so as to end 4 above the header's foot.
    static cg::Rect headerLabelFrame(const rt::Ref<ns::String>& title, double width);

    ~BatteryViewController() override;

protected:
    BatteryViewController();
    void viewDidLoadBody() override;
    void viewDidAppearBody(bool animated) override;
    void viewWillDisappearBody(bool animated) override;

private:
    enum class Source { Level, Registry, Captured };
    // Adds the source's observer unless it is there; removes it.
    void observe();
    void stopObserving();
    void reload();

    rt::Weak<ui::TableView> tableView_;
    rt::Weak<ui::LayoutConstraint> tableviewtop_;
    rt::Ref<ds::IOKitListener> listenerIso10_;
    rt::Ref<ds::DeviceListener> listener_;
    Source source_ = Source::Level;
    rt::Id observer_;
};

} // namespace ft
