#include "diagnostics/display_touch_camera_keys/physical_key_view_controller.h"

#include <charconv>
#include <cstring>
#include <string>
#include <vector>

#include "device/mute_switch_detector.h"
#include "diagnostics/display_touch_camera_keys/phsical_key_model.h"
#include "diagnostics/display_touch_camera_keys/physica_key_item_table_view_cell.h"
#include "diagnostics/display_touch_camera_keys/test_screen_support.h"
#include "platform/audio/audio_session.h"
#include "platform/foundation/dispatch.h"
#include "platform/foundation/format.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/regular_expression.h"
#include "platform/media/audio_session.h"
#include "platform/mediaplayer/music_player_controller.h"
#include "platform/mediaplayer/volume_indicator.h"
#include "platform/mediaplayer/volume_view.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/observation.h"
#include "platform/sim/device.h"
#include "platform/uikit/application.h"
#include "platform/uikit/button.h"
#include "platform/uikit/device.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/nib.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/window.h"
#include "session/core/test_base_model.h"
#include "session/screen_support.h"
#include "streams/dealloc.h"
#include "streams/property_signals.h"
#include "streams/scheduler.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"

namespace ft {

namespace {

// The key list fills the scene between the instruction and the bottom's (hidden) buttons.
const bool physicalKeyNibRegistered = registerTestScreenNib<PhysicalKeyViewController>(
    "PhysicalKeyViewController", [](const rt::Ref<ui::View>& view, PhysicalKeyViewController& screen) {
        const cg::Rect bounds = view->bounds();
        auto table = rt::make<ui::TableView>(cg::Rect::make(0, 160, bounds.width(), bounds.height() - 240),
                                             ui::TableViewStyle::Plain);
        table->registerNibForCellReuseIdentifier(ui::Nib::nibWithNibName(PhysicaKeyItemTableViewCell::kReuseIdentifier),
                                                 ns::String::make(PhysicaKeyItemTableViewCell::kReuseIdentifier));
        table->setDataSource(rt::retained(&screen));
        view->addSubview(table);
        // Under the bars as placed, down to the answers wherever they stand.
        table->setTranslatesAutoresizingMaskIntoConstraints(false);
        using Attribute = ui::LayoutAttribute;
        pinBelowBars(view, table, rt::Id(rt::retained(&screen)), table->frame().minY() - kSceneBarsHeight);
        pinEqual(view, table, Attribute::Leading, view, Attribute::Leading, 0);
        pinEqual(view, table, Attribute::Trailing, view, Attribute::Trailing, 0);
        pinEqual(view, table, Attribute::Bottom, screen.successButton(), Attribute::Top, 0);
        screen.setTableView(table);
    });

// The row titles of the sub-items, and the keys of the rows' names, in row order.
constexpr const char* kPhysicalKeyTitles[] = {"VOLUME UP", "VOLUME DOWN", "MUTE SWITCH"};
constexpr const char* kPhysicalKeyNames[] = {"PHYSICALKEY_CONTROLLER_VOLUME_UP", "PHYSICALKEY_CONTROLLER_VOLUME_DOWN"};

bool physicalKeyDeviceIsPhone() {
    auto model = ui::Device::currentDevice()->model();
    return model && model->utf8().starts_with("iPhone");
}

long unrespondedPhysicalKeys(const rt::Ref<ns::Array>& rows) {
    long count = 0;
    if (rows)
        for (const rt::Id& row : *rows)
            if (auto key = rt::cast<PhsicalKeyModel>(row); key && !key->success()) ++count;
    return count;
}

// The names of the rows not yet responded, as the table shows them: "Volume down key, ...".
std::string unrespondedPhysicalKeyNames(const rt::Ref<ns::Array>& rows) {
    std::string names;
    if (rows)
        for (const rt::Id& row : *rows)
            if (auto key = rt::cast<PhsicalKeyModel>(row); key && !key->success() && key->name())
                names += (names.empty() ? "" : ", ") + key->name()->utf8();
    return names;
}

// Vacuously so for no rows.
bool allPhysicalKeysResponded(const rt::Ref<ns::Array>& rows) {
    return unrespondedPhysicalKeys(rows) == 0;
}

const rt::Ref<mp::MusicPlayerController>& physicalKeyPlayer() {
    return mp::MusicPlayerController::applicationMusicPlayer();
}

} // namespace

RT_DEFINE_CLASS(PhysicalKeyViewController, "PhysicalKeyViewController", BaseModelViewController,
                rt::prop("tableView", &PhysicalKeyViewController::tableView, &PhysicalKeyViewController::setTableView,
                         {.memory = rt::Memory::Weak}),
                rt::prop("itemList", &PhysicalKeyViewController::itemList, &PhysicalKeyViewController::setItemList),
                rt::prop("detector", &PhysicalKeyViewController::detector),
                rt::prop("skip", &PhysicalKeyViewController::skip),
                rt::prop("launchVolume", &PhysicalKeyViewController::launchVolume),
                rt::prop("isStopMonitorVolumeKey", &PhysicalKeyViewController::isStopMonitorVolumeKey,
                         &PhysicalKeyViewController::setIsStopMonitorVolumeKey),
                rt::prop("volumeView", &PhysicalKeyViewController::volumeView,
                         &PhysicalKeyViewController::setVolumeView),
                rt::prop("isStealingVolumeButtons", &PhysicalKeyViewController::isStealingVolumeButtons),
                rt::prop("suspended", &PhysicalKeyViewController::suspended),
                rt::method("tableView:numberOfRowsInSection:",
                           &PhysicalKeyViewController::tableViewNumberOfRowsInSection),
                rt::method("tableView:cellForRowAtIndexPath:",
                           &PhysicalKeyViewController::tableViewCellForRowAtIndexPath),
                rt::method("volumeUp", &PhysicalKeyViewController::volumeUp),
                rt::method("volumeDown", &PhysicalKeyViewController::volumeDown),
                rt::method("updateState", &PhysicalKeyViewController::updateState),
                rt::method("monitorVolumeKeyEvent", &PhysicalKeyViewController::monitorVolumeKeyEvent),
                rt::method("setVolumeHidden:", &PhysicalKeyViewController::setVolumeHidden),
                rt::method("startStealingVolumeButtonEvents",
                           &PhysicalKeyViewController::startStealingVolumeButtonEvents),
                rt::method("initializeVolumeButtonStealer", &PhysicalKeyViewController::initializeVolumeButtonStealer),
                rt::method("stopStealingVolumeButtonEvents",
                           &PhysicalKeyViewController::stopStealingVolumeButtonEvents),
                rt::method("suspendStealingVolumeButtonEvents:",
                           &PhysicalKeyViewController::suspendStealingVolumeButtonEvents),
                rt::method("resumeStealingVolumeButtonEvents:",
                           &PhysicalKeyViewController::resumeStealingVolumeButtonEvents),
                rt::classMethod("greaterthaniPhone15pro", &PhysicalKeyViewController::greaterthaniPhone15pro))

PhysicalKeyViewController::PhysicalKeyViewController() : stealerSelf_(this) {
    (void)physicalKeyNibRegistered;
}

PhysicalKeyViewController::~PhysicalKeyViewController() {
    // A stealer still listening would be told about a screen that is gone.
    audio::sessionRemovePropertyListenerWithUserData(audio::kSessionPropertyCurrentHardwareOutputVolume,
                                                     &volumeChangeListenerCallback, &stealerSelf_);
}

// ---- Properties ----

rt::Ref<ui::TableView> PhysicalKeyViewController::tableView() const {
    return tableView_.lock();
}

void PhysicalKeyViewController::setTableView(const rt::Ref<ui::TableView>& table) {
    rt::KeyChange change(this, "tableView");
    tableView_ = table;
}

void PhysicalKeyViewController::setItemList(rt::Ref<ns::Array> list) {
    rt::KeyChange change(this, "itemList");
    itemList_ = std::move(list);
}

void PhysicalKeyViewController::setIsStopMonitorVolumeKey(bool stop) {
    rt::KeyChange change(this, "isStopMonitorVolumeKey");
    isStopMonitorVolumeKey_.store(stop);
}

rt::Ref<ui::View> PhysicalKeyViewController::volumeView() const {
    std::lock_guard g(volumeViewLock_);
    return volumeView_;
}

void PhysicalKeyViewController::setVolumeView(rt::Ref<ui::View> view) {
    rt::KeyChange change(this, "volumeView");
    std::lock_guard g(volumeViewLock_);
    volumeView_ = std::move(view);
}

float PhysicalKeyViewController::launchVolume() const noexcept {
    return launchVolume_.load();
}

void PhysicalKeyViewController::setLaunchVolume(float volume) {
    launchVolume_.store(volume);
}

rt::Ref<es::Signal> PhysicalKeyViewController::disappear() {
    return es::signalForSelector(this, rt::Sel("viewWillDisappear:"))->mapReplace(ns::Number::withBool(true));
}

// ---- Load ----

void PhysicalKeyViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    rt::Weak<PhysicalKeyViewController> weak(this);
    const bool phone = physicalKeyDeviceIsPhone();
    const std::size_t rows = phone ? 3 : 2;

    std::vector<rt::Id> subItems;
    for (std::size_t row = 0; row < rows; ++row) {
        auto item = ns::MutableDictionary::make();
        item->setObjectForKey(ns::String::make(kPhysicalKeyTitles[row]), "title");
        subItems.push_back(item);
    }
    setSubItemlist(ns::Array::make(std::move(subItems)));

    present()->subscribeNext([weak](bool shown) {
        auto self = weak.lock();
        if (!self) return;
        if (shown) {
            physicalKeyPlayer()->setVolume(kLaunchVolume);
            self->setLaunchVolume(kLaunchVolume);
            self->hidenButtons(true);
            self->setVolumeHidden(true);
            dispatch::asyncAfter(dispatch::after(kWatchDelay), dispatch::Queue::main(), [weak] {
                if (auto later = weak.lock()) later->monitorVolumeKeyEvent();
            });
        } else {
            self->setVolumeHidden(false);
            if (self->detector_) self->detector_->stopDetect();
        }
    });

    std::vector<rt::Id> keys;
    for (std::size_t row = 0; row < rows; ++row) {
        const char* name = row < kSwitchRow ? kPhysicalKeyNames[row]
                           : greaterthaniPhone15pro() ? "PHYSICAL_KEYS_ACTION_BUTTON_TITLE"
                                                      : "PHYSICALKEY_CONTROLLER_MUTE_SWICH";
        keys.push_back(PhsicalKeyModel::customClassWithProperties(
            ns::Dictionary::withPairs({{ns::String::make("name"), localized(name)},
                                       {ns::String::make("success"), ns::Number::withBool(false)}})));
    }
    setItemList(ns::Array::make(std::move(keys)));
    // The stand-in's table loads when asked: the rows show from the start.
    if (auto table = tableView()) table->reloadData();

    detector_ = MuteSwitchDetector::make();
    ns::debugLog("Retain count is %ld", static_cast<long>(detector_->retainCount()));
    detector_->setSilentNotify([weak](bool) {
        auto self = weak.lock();
        if (!self) return;
        // The first report is the position at load.
        if (!self->skip_) {
            self->skip_ = true;
            return;
        }
        self->markRow(kSwitchRow);
    });
    ns::debugLog("Retain count is %ld", static_cast<long>(detector_->retainCount()));

    // Every row's "success", anded, for the latest list; ended by the disappearance or the watchdog.
    es::valuesForKeyPath(rt::retained(this), "itemList", rt::retained(this))
        ->map([weak](const rt::Ref<ns::Array>& list) -> rt::Ref<es::Signal> {
            auto self = weak.lock();
            std::vector<rt::Ref<es::Signal>> successes;
            if (list && self)
                for (const rt::Id& row : *list)
                    successes.push_back(es::valuesForKeyPath(row, "success", self));
            return es::Signal::combineLatest(successes)->logicalAnd();
        })
        ->switchToLatest()
        ->takeUntil(disappear())
        ->timeoutOnScheduler(kWatchdogSeconds, es::Scheduler::mainThreadScheduler())
        ->subscribeNextErrorCompleted(
            [weak](const rt::Id&) {
                ns::logLine("has push check.");
                auto self = weak.lock();
                if (!self || !allPhysicalKeysResponded(self->itemList_)) return;
                if (const auto& item = self->info()) item->setSuccess(TestBaseModel::kPassed);
                self->stopStealingVolumeButtonEvents();
            },
            [weak](const rt::Ref<ns::Error>&) {
                auto self = weak.lock();
                if (!self) return;
                self->setVerdict(TestBaseModel::kFailed,
                                 timedOut(kWatchdogSeconds, unrespondedPhysicalKeyNames(self->itemList_)));
                if (const auto& item = self->info()) {
                    const long price = kPricePerKey * unrespondedPhysicalKeys(self->itemList_);
                    item->setRatio(ns::Dictionary::withPairs({{ns::String::make("price"), ns::Number::withLong(price)}}));
                }
                self->stopStealingVolumeButtonEvents();
                self->gotoResultView();
            },
            [weak] {
                if (auto self = weak.lock()) self->stopStealingVolumeButtonEvents();
            });
}

// ---- Data source ----

long PhysicalKeyViewController::tableViewNumberOfRowsInSection(const rt::Ref<ui::TableView>&, long) const {
    return itemList_ ? static_cast<long>(itemList_->count()) : 0;
}

rt::Ref<ui::TableViewCell> PhysicalKeyViewController::tableViewCellForRowAtIndexPath(
    const rt::Ref<ui::TableView>& table, const rt::Ref<ns::IndexPath>& indexPath) {
    const auto identifier = ns::String::make(PhysicaKeyItemTableViewCell::kReuseIdentifier);
    auto cell = rt::cast<PhysicaKeyItemTableViewCell>(table->dequeueReusableCellWithIdentifier(identifier));
    if (!cell) cell = rt::make<PhysicaKeyItemTableViewCell>(ui::TableViewCellStyle::Default, identifier);
    const auto row = static_cast<std::size_t>(indexPath->row());
    auto key = itemList_ && row < itemList_->count() ? rt::cast<PhsicalKeyModel>(itemList_->objectAtIndex(row)) : nullptr;
    if (auto label = cell->keyNameLabel()) label->setText(key ? key->name() : nullptr);
    if (auto tick = cell->resultImageView()) tick->setHidden(!(key && key->success()));
    return cell;
}

// ---- Keys ----

void PhysicalKeyViewController::markRow(std::size_t index) {
    if (!itemList_ || index >= itemList_->count()) return;
    itemList_->objectAtIndex(index)->setValueForKey(ns::Number::withBool(true), "success");
    if (const auto& items = subItemlist(); items && index < items->count())
        if (auto item = rt::cast<ns::MutableDictionary>(items->objectAtIndex(index)))
            item->setObjectForKey(ns::Number::withInt(1), "result");
    if (auto table = tableView()) table->reloadData();
    updateState();
}

void PhysicalKeyViewController::keyPressed(std::size_t row, const char* name) {
    ns::logLine(name);
    physicalKeyPlayer()->setVolume(launchVolume());
    rt::Weak<PhysicalKeyViewController> weak(this);
    dispatch::async(dispatch::Queue::main(), [weak, row] {
        if (auto self = weak.lock()) self->markRow(row);
    });
}

void PhysicalKeyViewController::volumeUp() {
    keyPressed(kVolumeUpRow, "volumeUp");
}

void PhysicalKeyViewController::volumeDown() {
    keyPressed(kVolumeDownRow, "volumeDown");
}

void PhysicalKeyViewController::updateState() {
    if (allPhysicalKeysResponded(itemList_)) gotoResultView();
}

void PhysicalKeyViewController::judgeVolume(float volume) {
    if (isStopMonitorVolumeKey()) return;
    const float reference = launchVolume();
    if (volume == reference) return;
    setLaunchVolume(volume);
    if (volume > reference) volumeUp();
    else volumeDown();
}

void PhysicalKeyViewController::monitorVolumeKeyEvent() {
    av::AudioSession::sharedInstance()->setActive(true);
    ui::Application::sharedApplication()->beginReceivingRemoteControlEvents();
    observeVolume();
}

void PhysicalKeyViewController::observeVolume() {
    rt::Weak<PhysicalKeyViewController> weak(this);
    // The first reading is the reference: a player volume that did not take ticks nothing.
    auto first = std::make_shared<std::atomic<bool>>(true);
    es::valuesForKeyPath(av::AudioSession::sharedInstance(), "outputVolume", rt::retained(this))
        ->takeUntil(es::willDeallocSignal(this))
        ->subscribeNext([weak, first](float volume) {
            auto self = weak.lock();
            if (!self) return;
            if (first->exchange(false)) self->setLaunchVolume(volume);
            else self->judgeVolume(volume);
        });
}

bool PhysicalKeyViewController::greaterthaniPhone15pro() {
    const auto machine = ns::String::make(sim::machine());
    auto match = ns::RegularExpression::make("iPhone(\\d+),(\\d+)")->firstMatchInString(*machine);
    if (!match) return false;
    // A number too long for a long reads as 0: no model of ours.
    const auto group = [&](std::size_t index) {
        const std::string digits = machine->substringWithRange(match->rangeAtIndex(index))->utf8();
        long value = 0;
        if (std::from_chars(digits.data(), digits.data() + digits.size(), value).ec != std::errc()) return 0L;
        return value;
    };
    return group(1) == 16 && (group(2) == 1 || group(2) == 2);
}

void PhysicalKeyViewController::setVolumeHidden(bool hidden) {
    mp::VolumeIndicator::setHidden(hidden);
}

// ---- The stealer ----

void PhysicalKeyViewController::startStealingVolumeButtonEvents() {
    audio::sessionInitialize();
    audio::sessionSetActive(true);
    const float volume = physicalKeyPlayer()->volume();
    setLaunchVolume(volume);
    hadToLowerVolume_.store(volume == 1.0f);
    hadToRaiseVolume_.store(volume == 0.0f);
    if (hadToLowerVolume_.load() || hadToRaiseVolume_.load()) {
        rt::Weak<PhysicalKeyViewController> weak(this);
        auto queue = dispatch::currentQueue();
        dispatch::async(queue ? queue : dispatch::Queue::main(), [weak] {
            auto self = weak.lock();
            if (!self) return;
            // Off the ends, so that a press either way is a change. The reference moves first:
            // the listener, on another thread, judges the nudge itself as no press.
            const float nudged = self->hadToLowerVolume_.load() ? 0.95f : 0.05f;
            self->setLaunchVolume(nudged);
            physicalKeyPlayer()->setVolume(nudged);
        });
    }
    auto view = rt::make<mp::VolumeView>(cg::Rect::make(0, -100, 10, 0));
    view->sizeToFit();
    auto windows = ui::Application::sharedApplication()->windows();
    if (windows->count())
        if (auto window = rt::cast<ui::Window>(windows->objectAtIndex(0))) window->addSubview(view);
    setVolumeView(view);
    initializeVolumeButtonStealer();
}

void PhysicalKeyViewController::initializeVolumeButtonStealer() {
    audio::sessionAddPropertyListener(audio::kSessionPropertyCurrentHardwareOutputVolume,
                                      &volumeChangeListenerCallback, &stealerSelf_);
}

void PhysicalKeyViewController::volumeChangeListenerCallback(void* clientData, std::uint32_t, std::uint32_t dataSize,
                                                             const void* data) {
    float volume = 0;
    if (!clientData || !data || dataSize != sizeof volume) return;
    auto self = static_cast<const rt::Weak<PhysicalKeyViewController>*>(clientData)->lock();
    if (!self) return;
    std::memcpy(&volume, data, sizeof volume);
    const float reference = self->launchVolume();
    if (volume > reference) self->volumeUp();
    else if (volume < reference) self->volumeDown();
}

void PhysicalKeyViewController::stopStealingVolumeButtonEvents() {
    if (!suspended()) ns::NotificationCenter::defaultCenter()->removeObserver(rt::retained(this));
    audio::sessionRemovePropertyListenerWithUserData(audio::kSessionPropertyCurrentHardwareOutputVolume,
                                                     &volumeChangeListenerCallback, &stealerSelf_);
    if (hadToLowerVolume_.load()) physicalKeyPlayer()->setVolume(1.0f);
    if (hadToRaiseVolume_.load()) physicalKeyPlayer()->setVolume(0.0f);
    if (auto view = volumeView()) {
        view->removeFromSuperview();
        setVolumeView(nullptr);
    }
    audio::sessionSetActive(false);
    isStealingVolumeButtons_.store(false);
}

void PhysicalKeyViewController::suspendStealingVolumeButtonEvents(const rt::Id&) {
    suspended_.store(true);
    stopStealingVolumeButtonEvents();
    // The row after the switch's, which no list holds: markRow leaves it alone.
    markRow(kSwitchRow + 1);
    if (auto table = tableView()) table->reloadData();
    updateState();
}

void PhysicalKeyViewController::resumeStealingVolumeButtonEvents(const rt::Id&) {
    if (!suspended()) return;
    startStealingVolumeButtonEvents();
    suspended_.store(false);
}

} // namespace ft
