#include "diagnostics/audio_motion_radio_power/battery_view_controller.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "device/device_listener.h"
#include "device/iokit_listener.h"
#include "diagnostics/audio_motion_radio_power/battery_cells.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/format.h"
#include "platform/foundation/index_path.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/property_list.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/device.h"
#include "platform/uikit/font.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/layout_guide.h"
#include "platform/uikit/nib.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/table_view.h"
#include "session/core/test_base_model.h"
#include "session/core/utility.h"
#include "session/screen_support.h"
#include "session/test_screen_scene.h"
#include "streams/signal.h"

namespace ft {

namespace {

constexpr double kBatteryTopWithInset = -88;
constexpr double kBatteryTop = -64;

// The table over the scene, above the buttons, first among its subviews so the bars give it room:
// its top constraint takes the bars' height off the top guide, so it starts under them.
const bool batteryNibRegistered = registerTestScreenNib<BatteryViewController>(
    "BatteryViewController", [](const rt::Ref<ui::View>& view, BatteryViewController& screen) {
        const cg::Rect bounds = view->bounds();
        auto table = rt::make<ui::TableView>(cg::Rect::make(0, 0, bounds.width(), bounds.height() - 100),
                                             ui::TableViewStyle::Plain);
        table->setTranslatesAutoresizingMaskIntoConstraints(false);
        view->insertSubviewAtIndex(table, 0);
        using Attribute = ui::LayoutAttribute;
        screen.setTableviewtop(
            pinEqual(view, table, Attribute::Top, screen.topLayoutGuide(), Attribute::Bottom, kBatteryTop));
        pinEqual(view, table, Attribute::Leading, view, Attribute::Leading, 0);
        pinEqual(view, table, Attribute::Trailing, view, Attribute::Trailing, 0);
        pinEqual(view, table, Attribute::Bottom, screen.successButton(), Attribute::Top, -20);
        table->setDataSource(rt::retained(&screen));
        table->setDelegate(rt::retained(&screen));
        screen.setTableView(table);
    });

// A dictionary value read through its text form, as the platform's string coercions read it: a
// number's digits, a string as written; nothing reads 0.
rt::Ref<ns::String> batteryText(const rt::Ref<ns::Dictionary>& dictionary, const char* key) {
    const rt::Id value = dictionary->objectForKey(key);
    return ns::String::make(value ? value->description() : std::string());
}
double batteryFloat(const rt::Ref<ns::Dictionary>& dictionary, const char* key) {
    return batteryText(dictionary, key)->floatValue();
}
std::int64_t batteryInteger(const rt::Ref<ns::Dictionary>& dictionary, const char* key) {
    return batteryText(dictionary, key)->longLongValue();
}

// The bundle's capacity for this model (lower-cased machine identifier), 0 when it has none.
double bundledBatteryCapacity() {
    const auto data = ns::Bundle::mainBundle()->dataForResource("batteryinfo", "plist");
    const auto table =
        data ? rt::cast<ns::Dictionary>(ns::PropertyListSerialization::propertyListWithData(data)) : nullptr;
    if (!table) return 0;
    std::string machine = Utility::hardwareName()->utf8();
    for (char& c : machine)
        if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    const auto capacity = rt::cast<ns::Number>(table->objectForKey(machine));
    if (!capacity) return 0;
    return capacity->integerValue();
}

} // namespace

RT_DEFINE_CLASS(
    BatteryViewController, "BatteryViewController", BaseModelViewController,
    rt::prop("tableView", &BatteryViewController::tableView, &BatteryViewController::setTableView,
             {.memory = rt::Memory::Weak}),
    rt::prop("tableviewtop", &BatteryViewController::tableviewtop, &BatteryViewController::setTableviewtop,
             {.memory = rt::Memory::Weak}),
    rt::method("ioKitDataUpdated", &BatteryViewController::ioKitDataUpdated),
    rt::method("listenerDataUpdated:", &BatteryViewController::listenerDataUpdated),
    rt::method("tableView:numberOfRowsInSection:", &BatteryViewController::tableViewNumberOfRowsInSection),
    rt::method("tableView:cellForRowAtIndexPath:", &BatteryViewController::tableViewCellForRowAtIndexPath),
    rt::method("tableView:heightForRowAtIndexPath:",
               &BatteryViewController::tableViewHeightForRowAtIndexPath),
    rt::method("tableView:titleForHeaderInSection:",
               &BatteryViewController::tableViewTitleForHeaderInSection),
    rt::method("tableView:viewForHeaderInSection:", &BatteryViewController::tableViewViewForHeaderInSection),
    rt::method("tableView:heightForHeaderInSection:",
               &BatteryViewController::tableViewHeightForHeaderInSection))

BatteryViewController::BatteryViewController() {
    (void)batteryNibRegistered;
}

BatteryViewController::~BatteryViewController() {
    stopObserving();
}

rt::Ref<ui::TableView> BatteryViewController::tableView() const {
    return tableView_.lock();
}

void BatteryViewController::setTableView(const rt::Ref<ui::TableView>& table) {
    rt::KeyChange change(this, "tableView");
    tableView_ = table;
}

rt::Ref<ui::LayoutConstraint> BatteryViewController::tableviewtop() const {
    return tableviewtop_.lock();
}

void BatteryViewController::setTableviewtop(const rt::Ref<ui::LayoutConstraint>& constraint) {
    rt::KeyChange change(this, "tableviewtop");
    tableviewtop_ = constraint;
}

double BatteryViewController::chargeValue(double level) {
    return std::round(level * 100) / 100;
}

cg::Rect BatteryViewController::headerLabelFrame(const rt::Ref<ns::String>& title, double width) {
    auto measure = rt::make<ui::Label>(cg::Rect{});
    measure->setFont(ui::Font::systemFontOfSize(kHeaderFontSize));
    measure->setNumberOfLines(0);
    measure->setLineBreakMode(ui::LineBreakMode::WordWrapping);
    measure->setText(title);
    const cg::Size size = measure->sizeThatFits({std::max(240.0, width - 16), std::numeric_limits<double>::max()});
    const double y = kHeaderHeight / 2 - size.height / 2 + std::min(10.0, (kHeaderHeight - size.height) / 2 - 4);
    return cg::Rect::make(8, y, size.width, size.height);
}

void BatteryViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    if (auto top = tableviewtop()) top->setConstant(hasBottomInset() ? kBatteryTopWithInset : kBatteryTop);
    view()->setNeedsLayout();
    if (auto table = tableView()) {
        for (const char* nib :
             {BatteryChargeTableViewCell::kReuseIdentifier, CapacityTableViewCell::kReuseIdentifier,
              NormalTableViewCell::kReuseIdentifier})
            table->registerNibForCellReuseIdentifier(ui::Nib::nibWithNibName(nib), ns::String::make(nib));
        table->setTableFooterView(rt::make<ui::View>(cg::Rect{}));
    }
    rt::Weak<BatteryViewController> weak(rt::retained(this));
    choose()->subscribeNext([weak](bool yes) {
        auto self = weak.lock();
        if (!self) return;
        if (auto item = self->info()) item->setSuccess(yes ? TestBaseModel::kPassed : TestBaseModel::kFailed);
        self->gotoResultView();
    });
    const double version = Utility::systemVersionNumber();
    source_ = version >= 12.0 ? Source::Level : version >= 10.0 ? Source::Registry : Source::Captured;
    switch (source_) {
    case Source::Level: {
        const auto& device = ui::Device::currentDevice();
        device->setBatteryMonitoringEnabled(true);
        maxCapacity = bundledBatteryCapacity();
        currentCapacity = maxCapacity * device->batteryLevel();
        observe();
        break;
    }
    case Source::Registry:
        listenerIso10_ = ds::IOKitListener::sharedDSIOKitListener();
        observe();
        listenerIso10_->requestDataRefresh();
        break;
    case Source::Captured:
        listener_ = ds::DeviceListener::sharedDSDeviceListener();
        break;
    }
    reload();
}

void BatteryViewController::viewDidAppearBody(bool animated) {
    BaseModelViewController::viewDidAppearBody(animated);
    if (source_ == Source::Level) ui::Device::currentDevice()->setBatteryMonitoringEnabled(true);
    observe();
    if (listenerIso10_) listenerIso10_->startListener();
    if (listener_) listener_->startListener();
}

void BatteryViewController::viewWillDisappearBody(bool animated) {
    BaseModelViewController::viewWillDisappearBody(animated);
    stopObserving();
    if (source_ == Source::Level) ui::Device::currentDevice()->setBatteryMonitoringEnabled(false);
    if (listenerIso10_) listenerIso10_->stopListener();
    if (listener_) listener_->stopListener();
}

void BatteryViewController::observe() {
    if (observer_) return;
    const auto& center = ns::NotificationCenter::defaultCenter();
    rt::Weak<BatteryViewController> weak(rt::retained(this));
    switch (source_) {
    case Source::Level:
        observer_ = center->addObserverForName(
            ns::UIDeviceBatteryLevelDidChangeNotification, nullptr, ns::OperationQueue::mainQueue(),
            [weak](const rt::Ref<ns::Notification>&) {
                auto self = weak.lock();
                if (!self) return;
                self->currentCapacity = self->maxCapacity * ui::Device::currentDevice()->batteryLevel();
                self->reload();
            });
        break;
    case Source::Registry:
        observer_ = center->addObserverForName(ds::kIOKitListenerNewDataNotification, nullptr, nullptr,
                                               [weak](const rt::Ref<ns::Notification>&) {
                                                   if (auto self = weak.lock()) self->ioKitDataUpdated();
                                               });
        break;
    case Source::Captured:
        observer_ =
            center->addObserverForName(std::string(ds::DeviceListenerNewDataNotification).c_str(), nullptr,
                                       nullptr, [weak](const rt::Ref<ns::Notification>& notification) {
                                           if (auto self = weak.lock())
                                               self->listenerDataUpdated(notification);
                                       });
        break;
    }
}

void BatteryViewController::stopObserving() {
    if (!observer_) return;
    ns::NotificationCenter::defaultCenter()->removeObserver(observer_);
    observer_ = nullptr;
}

void BatteryViewController::reload() {
    if (auto table = tableView()) table->reloadData();
}

void BatteryViewController::ioKitDataUpdated() {
    const auto charger = ds::IOKitListener::sharedDSIOKitListener()->chargerDict();
    if (!charger) return;
    voltage = batteryInteger(charger, "Voltage");
    maxCapacity = batteryFloat(charger, "MaxCapacity");
    currentCapacity = batteryFloat(charger, "CurrentCapacity");
    reload();
}

void BatteryViewController::listenerDataUpdated(const rt::Ref<ns::Notification>& notification) {
    const auto captured = notification ? notification->userInfo() : nullptr;
    if (!captured) return;
    maxCapacity = batteryFloat(captured, "AppleRawMaxCapacity");
    currentCapacity = batteryFloat(captured, "AppleRawCurrentCapacity");
    designCapacity = batteryFloat(captured, "DesignCapacity");
    cycleCount = batteryInteger(captured, "CycleCount");
    voltage = batteryInteger(captured, "Voltage");
    temperature = batteryInteger(captured, "Temperature");
    discharge = batteryInteger(captured, "InstantAmperage");
    ns::log("%f", currentCapacity);
    reload();
}

long BatteryViewController::tableViewNumberOfRowsInSection(const rt::Id&, long) const {
    switch (source_) {
    case Source::Level:
        return 1;
    case Source::Registry:
        return 2;
    case Source::Captured:
        break;
    }
    return 6;
}

rt::Id BatteryViewController::tableViewCellForRowAtIndexPath(const rt::Id& table,
                                                             const rt::Ref<ns::IndexPath>& indexPath) {
    const auto tableView = rt::cast<ui::TableView>(table);
    const auto dequeue = [&](const char* identifier) {
        return tableView->dequeueReusableCellWithIdentifierForIndexPath(ns::String::make(identifier),
                                                                        indexPath);
    };
    const long row = indexPath->row();
    if (row == 0) {
        auto cell =
            rt::cast<BatteryChargeTableViewCell>(dequeue(BatteryChargeTableViewCell::kReuseIdentifier));
        cell->fieldValue()->setText(ns::String::make(""));
        cell->setProgress(chargeValue(ui::Device::currentDevice()->batteryLevel()));
        return cell;
    }
    if (source_ == Source::Captured && row == 1) {
        auto cell = rt::cast<CapacityTableViewCell>(dequeue(CapacityTableViewCell::kReuseIdentifier));
        cell->fieldValue()->setText(ns::String::make(""));
        // With no design capacity the quotient means nothing: the bar stays as it was.
        if (designCapacity > 0) cell->setProgress(maxCapacity / designCapacity);
        return cell;
    }
    auto cell = rt::cast<NormalTableViewCell>(dequeue(NormalTableViewCell::kReuseIdentifier));
    const long normal = source_ == Source::Captured ? row - 2 : row - 1;
    switch (normal) {
    case 0:
        cell->fieldName()->setText(localized("BATTERY_CONTROLLER_VOLTAGE"));
        cell->fieldValue()->setText(ns::stringWithFormat("%0.2f V", voltage / 1000.0));
        break;
    case 1:
        cell->fieldName()->setText(localized("BATTERY_CONTROLLER_CYCLES"));
        cell->fieldValue()->setText(ns::stringWithFormat("%ld", cycleCount));
        break;
    case 2:
        cell->fieldName()->setText(localized("BATTERY_CONTROLLER_TEMPERATURE"));
        cell->fieldValue()->setText(ns::stringWithFormat("%.2f °C", temperature / 100.0));
        cell->setValueColor(ui::Color::greenColor());
        break;
    default:
        cell->fieldName()->setText(localized("BATTERY_CONTROLLER_DISCHARGE_CURRENT"));
        cell->fieldValue()->setText(ns::stringWithFormat("%ld mA", discharge));
        cell->setValueColor(ui::Color::redColor());
        break;
    }
    return cell;
}

double
BatteryViewController::tableViewHeightForRowAtIndexPath(const rt::Id&,
                                                        const rt::Ref<ns::IndexPath>& indexPath) const {
    const long barRows = source_ == Source::Captured ? 2 : 1;
    return indexPath->row() < barRows ? kBarRowHeight : kRowHeight;
}

rt::Ref<ns::String> BatteryViewController::tableViewTitleForHeaderInSection(const rt::Id&, long) const {
    return localized("BATTERY_CONTROLLER_TABLE_HEADER");
}

rt::Id BatteryViewController::tableViewViewForHeaderInSection(const rt::Id& table, long section) const {
    const double width = ui::Screen::mainScreen()->bounds().width();
    auto header = rt::make<ui::View>(cg::Rect::make(0, 0, width, kHeaderHeight));
    header->setBackgroundColor(ui::Color::colorWithRed(239 / 255.0, 239 / 255.0, 244 / 255.0, 1));
    const auto title = tableViewTitleForHeaderInSection(table, section);
    auto label = rt::make<ui::Label>(headerLabelFrame(title, width));
    label->setFont(ui::Font::systemFontOfSize(kHeaderFontSize));
    label->setNumberOfLines(0);
    label->setText(title);
    header->addSubview(label);
    return header;
}

double BatteryViewController::tableViewHeightForHeaderInSection(const rt::Id&, long) const {
    return kHeaderHeight;
}

} // namespace ft
