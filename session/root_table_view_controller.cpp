#include "session/root_table_view_controller.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <optional>
#include <utility>
#include <vector>

#include "platform/foundation/application_home.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/data.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/format.h"
#include "platform/foundation/string_services.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "platform/runtime/number.h"
#include "platform/foundation/index_path.h"
#include "platform/foundation/set.h"
#include "platform/foundation/dispatch.h"
#include "platform/runtime/kvc.h"
#include "platform/uikit/application.h"
#include "platform/uikit/storyboard_segue.h"
#include "platform/uikit/tap_gesture_recognizer.h"
#include "session/core/associated_object.h"
#include "platform/foundation/url.h"
#include "platform/uikit/bar_button_item.h"
#include "platform/uikit/navigation_item.h"
#include "streams/disposable.h"
#include "streams/tuple.h"
#include "ui/overlays/menu_popover.h"
#include "streams/property_signals.h"
#include "streams/sequence.h"
#include "streams/scheduler.h"
#include "streams/selector_interception.h"
#include "streams/signal.h"
#include "ui/overlays/progress_hud.h"
#include "platform/uikit/button.h"
#include "platform/uikit/color.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/device.h"
#include "platform/uikit/event.h"
#include "platform/uikit/gesture_recognizer.h"
#include "platform/uikit/navigation_bar.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/nib.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/touch.h"
#include "platform/uikit/window.h"
#include "session/app_delegate.h"
#include "session/item_table_view_cell.h"
#include "session/logo_title_view.h"
#include "session/ready_start_view_controller.h"
#include "session/screen_support.h"
#include "session/space_table_view_cell.h"
#include "session/core/function_helper.h"
#include "session/core/test_base_model.h"
#include "session/core/utility.h"

namespace ft {

RT_DEFINE_CLASS(RootTableViewController, "RootTableViewController", ui::ViewController,
                rt::prop("itemList", &RootTableViewController::itemList, &RootTableViewController::setItemList),
                rt::prop("header1Model", &RootTableViewController::header1Model,
                         &RootTableViewController::setHeader1Model),
                rt::prop("header2Model", &RootTableViewController::header2Model,
                         &RootTableViewController::setHeader2Model),
                rt::prop("tableView", &RootTableViewController::tableView, &RootTableViewController::setTableView,
                         {.memory = rt::Memory::Weak}),
                rt::prop("tabletopviewcon", &RootTableViewController::tabletopviewcon,
                         &RootTableViewController::setTabletopviewcon, {.memory = rt::Memory::Weak}),
                rt::prop("indexOfLastSelectItem", &RootTableViewController::indexOfLastSelectItem,
                         &RootTableViewController::setIndexOfLastSelectItem),
                rt::method("isForAppStoreReview", &RootTableViewController::isForAppStoreReview),
                rt::method("parseProfile:", &RootTableViewController::parseProfile),
                rt::prop("testList", &RootTableViewController::testList, &RootTableViewController::setTestList),
                rt::prop("isExecuteAutoTest", &RootTableViewController::isExecuteAutoTest,
                         &RootTableViewController::setIsExecuteAutoTest),
                rt::method("checkProfileAndAutoRun", &RootTableViewController::checkProfileAndAutoRun),
                rt::method("dissmissProgress:", &RootTableViewController::dissmissProgressBody),
                rt::method("onRun:", &RootTableViewController::onRun),
                rt::method("onRightButtonRunAction:", &RootTableViewController::onRightButtonRunAction),
                rt::method("onRightButtonEditAction:", &RootTableViewController::onRightButtonEditAction),
                rt::method("menuPopover:didSelectMenuItemAtIndex:",
                           &RootTableViewController::menuPopoverDidSelectMenuItemAtIndexBody),
                rt::method("doCompletedForRoot:", &RootTableViewController::doCompletedForRoot),
                rt::method("openSafari", &RootTableViewController::openSafari),
                rt::method("onSelectAll:", &RootTableViewController::onSelectAll),
                rt::method("onRemoveAll:", &RootTableViewController::onRemoveAll),
                rt::method("changeAllItemSelected:selected:", &RootTableViewController::changeAllItemSelected),
                rt::method("selectCountBySection:", &RootTableViewController::selectCountBySection),
                rt::method("selectAction:", &RootTableViewController::selectAction),
                rt::method("headerClick:event:", &RootTableViewController::headerClick),
                rt::method("numberOfSectionsInTableView:", &RootTableViewController::numberOfSectionsInTableView),
                rt::method("tableView:numberOfRowsInSection:",
                           &RootTableViewController::tableViewNumberOfRowsInSection),
                rt::method("tableView:cellForRowAtIndexPath:",
                           &RootTableViewController::tableViewCellForRowAtIndexPath),
                rt::method("tableView:heightForRowAtIndexPath:",
                           &RootTableViewController::tableViewHeightForRowAtIndexPath),
                rt::method("tableView:didSelectRowAtIndexPath:",
                           &RootTableViewController::tableViewDidSelectRowAtIndexPath))

namespace {

// Visual-format options: every view of the format aligned on the first one's top, and bottom.
constexpr unsigned long kAlignAllTop = 8;
constexpr unsigned long kAlignAllBottom = 16;

// What a row needs of the device to be created. The phone's rows (an iPhone's) are told apart by
// what the device lacks without it.
enum class Needs {
    Nothing, FrontCamera, BackCamera, HomeKey, Flash, Gyroscope, Accelerometer,
    ProximitySensor, Telephony, VibrationMotor, NotReview, Cellular
};

struct Row {
    const char* profile;
    const char* name;
    const char* titleKey;     // after "ROOTLIST_TITLE_"
    const char* messageKey;   // after "ROOTLIST_DESC_"
    const char* icon;
    const char* direction;    // camera rows only
    const char* colorKey;     // camera preview and picture rows only
    Needs needs;
    bool messageNamesProduct; // the description is a format taking the product name
};

constexpr std::size_t kManualRows = 34;

// Rows 1 to 34 are the manual group, 35 to 40 the automatic group, in build order.
constexpr std::array<Row, 40> kRows{{
    {"AC_USB_PLUG_TEST", "ACUsbPlugViewController", "AC_USB_PLUG_TEST", "AC_USB_PLUG_TEST", "icon_usb", nullptr, nullptr, Needs::Nothing, false},
    {"COMPUTER_USB_PLUG_TEST", "ComputerUSBPlugViewController", "COMPUTER_USB_PLUG_TEST", "COMPUTER_USB_PLUG_TEST", "icon_usb", nullptr, nullptr, Needs::Nothing, false},
    {"FRONT_CAMERA_BLACK_TEST", "FrontBlackCameraModelViewController", "FRONT_CAMERA_BLACK_TEST", "FRONT_CAMERA_BLACK_TEST", "icon_camerafront", "front", "CAMERA_CONTROLLER_BLACK", Needs::FrontCamera, false},
    {"FRONT_CAMERA_PATTERN_TEST", "FrontPatternCameraModelViewController", "FRONT_CAMERA_PATTERN_TEST", "FRONT_CAMERA_PATTERN_TEST", "icon_camerafront", "front", "CAMERA_CONTROLLER_PATTERN", Needs::FrontCamera, false},
    {"FRONT_CAMERA_WHITE_TEST", "FrontWhiteCameraModelViewController", "FRONT_CAMERA_WHITE_TEST", "FRONT_CAMERA_WHITE_TEST", "icon_camerafront", "front", "CAMERA_CONTROLLER_WHITE", Needs::FrontCamera, false},
    {"BACK_CAMERA_BLACK_TEST", "BackBlackCameraModelViewController", "BACK_CAMERA_BLACK_TEST", "BACK_CAMERA_BLACK_TEST", "icono_camarappal_c", "back", "CAMERA_CONTROLLER_BLACK", Needs::BackCamera, false},
    {"BACK_CAMERA_PATTERN_TEST", "BackPatternCameraModelViewController", "BACK_CAMERA_PATTERN_TEST", "BACK_CAMERA_PATTERN_TEST", "icono_camarappal_c", "Back", "CAMERA_CONTROLLER_PATTERN", Needs::BackCamera, false},
    {"BACK_CAMERA_WHITE_TEST", "BackWhiteCameraModelViewController", "BACK_CAMERA_WHITE_TEST", "BACK_CAMERA_WHITE_TEST", "icono_camarappal_c", "back", "CAMERA_CONTROLLER_WHITE", Needs::BackCamera, false},
    {"FRONT_CAMERA_BLACK_CAPTURE_TEST", "CameraPictureViewController", "FRONT_BLACK_CAMERA_PICTURE", "FRONT_CAMERA_PICTURE", "icon_picture_app_front_normal", "front", "CAMERA_PICTURE_CONTROLLER_BLACK", Needs::FrontCamera, false},
    {"FRONT_CAMERA_PATTERN_CAPTURE_TEST", "CameraPictureViewController", "FRONT_PATTERN_CAMERA_PICTURE", "FRONT_CAMERA_PICTURE", "icon_picture_app_front_normal", "front", "CAMERA_PICTURE_CONTROLLER_PATTERN", Needs::FrontCamera, false},
    {"FRONT_CAMERA_WHITE_CAPTURE_TEST", "CameraPictureViewController", "FRONT_WHITE_CAMERA_PICTURE", "FRONT_CAMERA_PICTURE", "icon_picture_app_front_normal", "front", "CAMERA_PICTURE_CONTROLLER_WHITE", Needs::FrontCamera, false},
    {"BACK_CAMERA_BLACK_CAPTURE_TEST", "CameraPictureViewController", "BACK_BLACK_CAMERA_PICTURE", "BACK_CAMERA_PICTURE", "icon_picture_app_back_normal", "back", "CAMERA_PICTURE_CONTROLLER_BLACK", Needs::BackCamera, false},
    {"BACK_CAMERA_PATTERN_CAPTURE_TEST", "CameraPictureViewController", "BACK_PATTERN_CAMERA_PICTURE", "BACK_CAMERA_PICTURE", "icon_picture_app_back_normal", "back", "CAMERA_PICTURE_CONTROLLER_PATTERN", Needs::BackCamera, false},
    {"BACK_CAMERA_WHITE_CAPTURE_TEST", "CameraPictureViewController", "BACK_WHITE_CAMERA_PICTURE", "BACK_CAMERA_PICTURE", "icon_picture_app_back_normal", "back", "CAMERA_PICTURE_CONTROLLER_WHITE", Needs::BackCamera, false},
    {"FRONT_CAMERA_VIDEO_TEST", "CameraVideoViewController", "FRONT_CAMERA_VIDEO", "FRONT_CAMERA_VIDEO", "icon_camera_app_front_normal", "front", nullptr, Needs::FrontCamera, false},
    {"BACK_CAMERA_VIDEO_TEST", "CameraVideoViewController", "BACK_CAMERA_VIDEO", "BACK_CAMERA_VIDEO", "icon_camera_app_back_normal", "back", nullptr, Needs::BackCamera, false},
    {"PHYSICAL_KEYS_TEST", "PhysicalKeyViewController", "PHYSICAL_KEYS_TEST", "PHYSICAL_KEYS_TEST", "icon_keyboard_button", nullptr, nullptr, Needs::Nothing, false},
    {"HOME_KEY_TEST", "HomeKeyViewController", "HOME_KEYS_TEST", "HOME_KEYS_TEST", "icon_keyboard_button", nullptr, nullptr, Needs::HomeKey, false},
    {"POWER_KEY_TEST", "PowerKeyViewController", "POWER_KEYS_TEST", "POWER_KEYS_TEST", "icon_keyboard_button", nullptr, nullptr, Needs::Nothing, false},
    {"FLASH_TEST", "FlashModelViewController", "FLASH_TEST", "FLASH_TEST", "icono_flash_c", nullptr, nullptr, Needs::Flash, false},
    {"GYRO_TEST", "GyroscopeViewController", "GYRO_TEST", "GYRO_TEST", "icono_gyro", nullptr, nullptr, Needs::Gyroscope, false},
    {"ACCELEROMETER_TEST", "AccelerometerViewController", "ACCELEROMETER_TEST", "ACCELEROMETER_TEST", "icono_acelerometros_c", nullptr, nullptr, Needs::Accelerometer, false},
    {"PROXIMITY_SENSOR_TEST", "ProximityViewController", "PROXIMITY_SENSOR_TEST", "PROXIMITY_SENSOR_TEST", "icono_proximity_sensor", nullptr, nullptr, Needs::ProximitySensor, false},
    {"LOUDSPEAKER", "LouderSpeakerViewController", "LOUDSPEAKER", "LOUDSPEAKER", "icono_speaker", nullptr, nullptr, Needs::Nothing, false},
    {"HEADSET_TEST", "HeadsetPlugViewController", "HEADSET_TEST", "HEADSET_TEST", "icono_headset", nullptr, nullptr, Needs::Nothing, false},
    {"LCD_BACKLIGHT_TEST", "BrightnessViewController", "LCD_BACKLIGHT_TEST", "LCD_BACKLIGHT_TEST", "icono_luz_c", nullptr, nullptr, Needs::Nothing, false},
    {"LCD_FILL_TEST", "FillColorViewController", "LCD_FILL_TEST", "LCD_FILL_TEST", "icono_pantalla_c", nullptr, nullptr, Needs::NotReview, false},
    {"MAIN_MIC_TEST", "MicrophoneRecordViewController", "MAIN_MIC_TEST", "MAIN_MIC_TEST", "icono_record", nullptr, nullptr, Needs::Nothing, false},
    {"MAIN_MIC_LOOPBACK_TEST", "MicrophoneLoopBackViewController", "MAIN_MIC_LOOPBACK_TEST", "MAIN_MIC_LOOPBACK_TEST", "icono_record", nullptr, nullptr, Needs::Nothing, false},
    {"TOUCH_SCREEN", "TouchScreenViewController", "TOUCH_SCREEN", "TOUCH_SCREEN", "icon_screen", nullptr, nullptr, Needs::NotReview, false},
    {"LDI_STICKER", "WaterDamgeViewController", "LDI_STICKER", "LDI_STICKER", "icono_ldi_sticker", nullptr, nullptr, Needs::Nothing, false},
    {"BATTERY", "BatteryViewController", "BATTERY", "BATTERY", "icon_battery", nullptr, nullptr, Needs::Nothing, false},
    {"SMS", "SMSViewController", "SMS", "SMS", "icono_sms", nullptr, nullptr, Needs::Telephony, true},
    {"PHONECALL", "MakeCallViewController", "PHONE", "PHONE", "icono_call", nullptr, nullptr, Needs::Telephony, true},
    {"VIBRATION", "VibrationViewController", "VIBRATION", "VIBRATION", "boton_vibrador", nullptr, nullptr, Needs::VibrationMotor, false},
    {"BLUETOOTH", "BluetoothViewController", "BLUETOOTH", "BLUETOOTH", "icono_bluetooth_c", nullptr, nullptr, Needs::Nothing, false},
    {"WIFI", "WifiViewController", "WIFI", "WIFI", "icono_wifi_c", nullptr, nullptr, Needs::Nothing, false},
    {"RF", "RFTestViewController", "RF", "RF", "radio", nullptr, nullptr, Needs::Cellular, false},
    {"ROOT", "JailBreakViewController", "ROOT", "ROOT", "cydia", nullptr, nullptr, Needs::NotReview, false},
    {"GPS", "GPSViewController", "GPS", "GPS", "satellite", nullptr, nullptr, Needs::Nothing, false},
}};

// The system screens a row's test screen presents over itself, by the row's key.
constexpr std::pair<std::string_view, std::string_view> kPresentedScreens[] = {
    {"SMS", "MFMessageComposeViewController"}};

// The screens a row's test shows: its test screen (one several rows share, or its own) and what it
// presents.
std::vector<std::string> screensOf(const Row& row) {
    const std::string_view shared = ReadyStartViewController::sharedScreenOf(row.name);
    std::vector<std::string> screens{std::string(shared.empty() ? row.name : shared)};
    for (const auto& [key, screen] : kPresentedScreens)
        if (key == row.profile) screens.emplace_back(screen);
    return screens;
}

constexpr std::int64_t kBackCamera = 1;
constexpr std::int64_t kFrontCamera = 2;

using ft::localized;

rt::Ref<ns::String> localized(std::string_view prefix, std::string_view key) {
    std::string full(prefix);
    full += key;
    return localized(full);
}

// The countdown's cancel recognisers on the window's last subview, found by their tag.
struct TaggedRecognizers {
    rt::Weak<ui::View> view;
    std::vector<rt::Ref<ui::GestureRecognizer>> list;

    static TaggedRecognizers onLastSubview() {
        TaggedRecognizers found;
        auto window = delegateWindow();
        auto subviews = window ? window->subviews() : nullptr;
        if (!subviews || subviews->count() == 0) return found;
        auto last = rt::cast<ui::View>(subviews->lastObject());
        auto recognizers = last ? last->gestureRecognizers() : nullptr;
        if (!recognizers) return found;
        const auto tag = ns::String::make(RootTableViewController::kTapTag);
        for (const rt::Id& entry : *recognizers)
            if (auto recognizer = rt::cast<ui::GestureRecognizer>(entry))
                if (rt::Id value = associatedObject(*recognizer); value && value->isEqual(tag.get()))
                    found.list.push_back(recognizer);
        found.view = last;
        return found;
    }

    void remove() const {
        if (auto holder = view.lock())
            for (const auto& recognizer : list) holder->removeGestureRecognizer(recognizer);
    }
};

bool hasHomeKey() {
    return !hasBottomInset() && !Utility::iPadPro();
}

bool hasCellular() {
    // Read whatever the model, as the check that follows may need it.
    rt::Id wifiOnlyTable = ns::UserDefaults::standardUserDefaults()->objectForKey(Utility::kWifiOnlyListKey);
    auto model = ui::Device::currentDevice()->model();
    if (!model) return false;
    if (model->hasPrefix("iPhone")) return true;
    if (model->hasPrefix("iPad")) return !Utility::checkiPadIsWifiOnly(Utility::hardwareName(), wifiOnlyTable);
    return false;
}

bool isPhone() {
    auto model = ui::Device::currentDevice()->model();
    return model && model->hasPrefix("iPhone");
}

// Each need, whether the device meets it, and what the device lacks when it does not: the reason
// the run report gives for a row the profile asked for and the catalogue left out.
struct Need {
    Needs needs;
    bool (*met)(const RootTableViewController& list);
    const char* lacking;
};
using List = const RootTableViewController&;
constexpr Need kNeeds[] = {
    {Needs::Nothing, [](List) { return true; }, ""},
    {Needs::FrontCamera, [](List) { return FunctionHelper::hasCameraWithPosition(kFrontCamera); }, "no front camera"},
    {Needs::BackCamera, [](List) { return FunctionHelper::hasCameraWithPosition(kBackCamera); }, "no back camera"},
    {Needs::HomeKey, [](List) { return hasHomeKey(); }, "no home key"},
    {Needs::Flash, [](List) { return FunctionHelper::hasFlash(); }, "no flash"},
    {Needs::Gyroscope, [](List) { return FunctionHelper::hasGyroscope(); }, "no gyroscope"},
    {Needs::Accelerometer, [](List) { return FunctionHelper::hasAccelerometer(); }, "no accelerometer"},
    {Needs::ProximitySensor, [](List) { return isPhone(); }, "no proximity sensor"},
    {Needs::Telephony, [](List) { return isPhone(); }, "no phone calls or text messages"},
    {Needs::VibrationMotor, [](List) { return isPhone(); }, "no vibration motor"},
    {Needs::NotReview, [](List list) { return !list.isForAppStoreReview(); }, "not for the review account"},
    {Needs::Cellular, [](List) { return hasCellular(); }, "no cellular radio"},
};
constexpr bool inNeedsOrder() {
    for (std::size_t i = 0; i < std::size(kNeeds); ++i)
        if (kNeeds[i].needs != Needs(i)) return false;
    return std::size(kNeeds) == std::size_t(Needs::Cellular) + 1;
}
static_assert(inNeedsOrder(), "kNeeds holds each need once, at its value");

const Need& need(Needs needs) {
    return kNeeds[std::size_t(needs)];
}

rt::Ref<ns::MutableDictionary> rowDictionary(const Row& row) {
    auto dict = ns::MutableDictionary::make();
    dict->setObjectForKey(ns::String::make(row.name), "name");
    dict->setObjectForKey(ns::Number::withBool(false), "selected");
    dict->setObjectForKey(ns::Number::withInt(TestBaseModel::kNotTested), "success");
    dict->setObjectForKey(localized("ROOTLIST_TITLE_", row.titleKey), "title");
    auto message = localized("ROOTLIST_DESC_", row.messageKey);
    if (row.messageNamesProduct)
        message = ns::stringWithFormat(message->utf8(), RootTableViewController::kProductName);
    dict->setObjectForKey(message, "message");
    dict->setObjectForKey(ns::String::make(row.icon), "icon");
    dict->setObjectForKey(ns::String::make(row.profile), "profile");
    if (row.direction) dict->setObjectForKey(ns::String::make(row.direction), "direction");
    if (row.colorKey) dict->setObjectForKey(localized(row.colorKey), "color");
    return dict;
}

bool listed(const ns::Array& keys, const ns::String& profile) {
    for (const rt::Id& key : keys)
        if (auto text = rt::cast<ns::String>(key); text && text->isEqualToString(&profile)) return true;
    return false;
}

// Makes a group's header row and items, appending both to `list` (header first).
rt::Ref<ns::MutableDictionary> addGroup(ns::MutableArray& list, const std::vector<rt::Ref<ns::MutableDictionary>>& rows,
                                        std::string_view nameKey, const ns::Array& profileKeys) {
    auto header = ns::MutableDictionary::make();
    header->setObjectForKey(localized(nameKey), "name");
    list.addObject(header);
    auto items = ns::MutableArray::make();
    std::size_t selectedCount = 0;
    for (const auto& row : rows) {
        auto profile = rt::cast<ns::String>(row->objectForKey("profile"));
        const bool selected = profile && listed(profileKeys, *profile);
        auto item = TestBaseModel::customClassWithProperties(row);
        item->setSelected(selected);
        item->setHeader(header);
        if (selected) ++selectedCount;
        items->addObject(item);
    }
    header->setObjectForKey(items, "list");
    header->setObjectForKey(localized(selectedCount == rows.size() ? "ROOT_MENU_REMOVE_ALL" : "ROOT_MENU_SELECT_ALL"),
                            "btntitle");
    list.addObjectsFromArray(*items);
    return header;
}

// The scene's view: the list's table across the whole screen, its data source and delegate the list.
ui::Nib::Loaded loadRootView(const rt::Id& owner) {
    auto view = rt::make<ui::View>(ui::Screen::mainScreen()->bounds());
    auto table = rt::make<ui::TableView>(view->bounds(), ui::TableViewStyle::Plain);
    view->addSubview(table);
    if (auto list = rt::cast<RootTableViewController>(owner)) {
        list->setTableView(table);
        table->setDataSource(list);
        table->setDelegate(list);
        auto top = ui::LayoutConstraint::constraintWithItem(table, ui::LayoutAttribute::Top, ui::LayoutRelation::Equal,
                                                            view, ui::LayoutAttribute::Top, 1, 0);
        view->addConstraint(top);
        list->setTabletopviewcon(top);
    }
    return {{view}, {}};
}

const bool rootViewRegistered = (ui::Nib::registerNib("RootTableViewController", loadRootView), true);

constexpr double kItemRowHeight = 70;
constexpr double kHeaderRowHeight = 40;

} // namespace

rt::Ref<RootTableViewController> RootTableViewController::make() {
    return rt::make<RootTableViewController>();
}

RootTableViewController::~RootTableViewController() {
    for (const auto& header : {header1Model_, header2Model_})
        if (header) header->removeObjectForKey("list");
}

rt::Ref<ns::MutableArray> RootTableViewController::itemList() const {
    if (!itemList_) rt::retained(this)->buildCatalogue();
    return itemList_;
}

void RootTableViewController::setItemList(rt::Ref<ns::MutableArray> list) {
    rt::KeyChange change(this, "itemList");
    itemList_ = std::move(list);
}

void RootTableViewController::setHeader1Model(rt::Ref<ns::MutableDictionary> header) {
    rt::KeyChange change(this, "header1Model");
    header1Model_ = std::move(header);
}

void RootTableViewController::setHeader2Model(rt::Ref<ns::MutableDictionary> header) {
    rt::KeyChange change(this, "header2Model");
    header2Model_ = std::move(header);
}

bool RootTableViewController::isForAppStoreReview() const {
    auto user = rt::cast<ns::String>(ns::UserDefaults::standardUserDefaults()->objectForKey("username"));
    return user && user->isEqualToString(kReviewUserName);
}

void RootTableViewController::buildCatalogue() {
    auto list = ns::MutableArray::make();
    setItemList(list);
    std::vector<rt::Ref<ns::MutableDictionary>> manual, automatic;
    // Consecutive rows needing the same thing share one check (a camera block, the two phone rows).
    std::optional<Needs> lastNeeds;
    bool lastMet = false;
    std::vector<const Row*> leftOut;
    std::vector<std::string> offeredScreens;
    for (std::size_t i = 0; i < kRows.size(); ++i) {
        const Row& row = kRows[i];
        if (row.needs != lastNeeds) {
            lastMet = need(row.needs).met(*this);
            lastNeeds = row.needs;
        }
        if (!lastMet) {
            leftOut.push_back(&row);
            continue;
        }
        for (std::string& screen : screensOf(row))
            offeredScreens.push_back(std::move(screen));
        auto dict = rowDictionary(row);
        if (i >= kManualRows) {
            dict->setObjectForKey(ns::Number::withBool(true), "auto");
            automatic.push_back(dict);
        } else {
            manual.push_back(dict);
        }
    }
    auto profileKeys = parseProfile(ns::String::make(profilePath()));
    setHeader1Model(addGroup(*list, automatic, "ROOT_HEADER_AUTO_TESTING", *profileKeys));
    setHeader2Model(addGroup(*list, manual, "ROOT_HEADER_MANUAL_TESTING", *profileKeys));
    // What the profile asked for: each key naming a row, offered or left out, counted once.
    std::vector<std::string> asked;
    for (const rt::Id& entry : *profileKeys) {
        const std::string key = rt::downcast<ns::String>(entry)->utf8();
        if (std::find(asked.begin(), asked.end(), key) != asked.end()) continue;
        asked.push_back(key);
        auto out = std::find_if(leftOut.begin(), leftOut.end(), [&](const Row* row) { return key == row->profile; });
        if (out != leftOut.end()) {
            std::vector<std::string> screens = screensOf(**out);
            std::erase_if(screens, [&](const std::string& screen) {
                return std::find(offeredScreens.begin(), offeredScreens.end(), screen) !=
                       offeredScreens.end();
            });
            notOffered_.push_back({key, localized("ROOTLIST_TITLE_", (*out)->titleKey)->utf8(),
                                   need((*out)->needs).lacking, std::move(screens)});
        } else if (std::any_of(kRows.begin(), kRows.end(), [&](const Row& row) { return key == row.profile; }))
            ++offeredPreselection_;
    }
}

const std::vector<RootTableViewController::NotOffered>& RootTableViewController::notOffered() const {
    itemList();
    return notOffered_;
}

std::size_t RootTableViewController::offeredPreselection() const {
    itemList();
    return offeredPreselection_;
}

std::string RootTableViewController::profilePath() {
    auto paths = ns::searchPathForDirectories(ns::SearchPathDirectory::Document);
    auto documents = paths->count() ? rt::cast<ns::String>(paths->objectAtIndex(0)) : nullptr;
    return (documents ? documents->utf8() : std::string()) + "/" + kProfileFileName;
}

rt::Ref<ns::Array> RootTableViewController::parseProfile(const rt::Ref<ns::String>& path) {
    auto keys = ns::MutableArray::make();
    const auto& files = ns::FileManager::defaultManager();
    if (path && files->fileExistsAtPath(path->utf8())) {
        if (auto data = files->contentsAtPath(path->utf8())) {
            std::string_view bytes(reinterpret_cast<const char*>(data->bytes()), data->length());
            if (ns::String::isValidUTF8(bytes)) {
                auto pieces = ns::componentsSeparatedByString(*ns::String::make(bytes), ",");
                for (const rt::Id& piece : *pieces) {
                    auto key = ns::stringByTrimmingWhitespaceAndNewlines(*rt::downcast<ns::String>(piece));
                    if (key->length() > 0) keys->addObject(key);
                }
            }
        }
    }
    auto defaults = ns::UserDefaults::standardUserDefaults();
    defaults->setBool(keys->count() > 0, kHasProfileKey);
    defaults->synchronize();
    return keys;
}

rt::Ref<ui::TableView> RootTableViewController::tableView() const {
    return tableView_.lock();
}

rt::Ref<ui::LayoutConstraint> RootTableViewController::tabletopviewcon() const {
    return tabletopviewcon_.lock();
}

void RootTableViewController::setTabletopviewcon(const rt::Ref<ui::LayoutConstraint>& constraint) {
    rt::KeyChange change(this, "tabletopviewcon");
    tabletopviewcon_ = constraint;
}

void RootTableViewController::setTableView(const rt::Ref<ui::TableView>& table) {
    rt::KeyChange change(this, "tableView");
    tableView_ = table;
}

void RootTableViewController::setIndexOfLastSelectItem(unsigned long index) {
    rt::KeyChange change(this, "indexOfLastSelectItem");
    indexOfLastSelectItem_ = index;
}

void RootTableViewController::viewDidLoadBody() {
    if (auto navigation = navigationController()) {
        if (const auto& pop = navigation->interactivePopGestureRecognizer()) pop->setEnabled(false);
        if (Utility::systemVersionNumber() >= 15) {
            auto appearance = rt::make<ui::NavigationBarAppearance>();
            appearance->setBackgroundColor(ui::Color::colorWithRed(0, 133 / 255.0, 212 / 255.0, 1));
            const auto& bar = navigation->navigationBar();
            bar->setStandardAppearance(appearance);
            bar->setScrollEdgeAppearance(appearance);
            bar->setCompactAppearance(appearance);
            bar->setCompactScrollEdgeAppearance(appearance);
        }
    }
    auto table = tableView();
    if (!table) return;
    table->setTableFooterView(rt::make<ui::View>(cg::Rect{}));
    table->registerNibForCellReuseIdentifier(ui::Nib::nibWithNibName("ItemTableViewCell"),
                                             ns::String::make(ItemTableViewCell::kReuseIdentifier));
    table->registerNibForCellReuseIdentifier(ui::Nib::nibWithNibName("SpaceTableViewCell"),
                                             ns::String::make(SpaceTableViewCell::kReuseIdentifier));
    table->setSeparatorInset(ui::EdgeInsets{});

    // Play shows exactly while any item of the current list is selected.
    rt::Weak<RootTableViewController> weakSelf(rt::retained(this));
    rightBar();
    playVisibility_ =
        es::valuesForKeyPath(rt::retained(this), "itemList", rt::retained(this))
            ->map([](const rt::Id& value) -> rt::Id {
                std::vector<rt::Ref<es::Signal>> selections;
                if (auto list = rt::cast<ns::Array>(value))
                    for (const rt::Id& entry : *list)
                        if (rt::cast<TestBaseModel>(entry))
                            selections.push_back(es::valuesForKeyPath(entry, "selected", entry));
                return es::Signal::combineLatest(selections)->logicalOr();
            })
            ->switchToLatest()
            ->subscribeNext([weakSelf](const rt::Id& any) {
                auto self = weakSelf.lock();
                auto number = rt::cast<ns::Number>(any);
                if (self && self->play_) self->play_->setHidden(!(number && number->boolValue()));
            });
    auto space = ui::BarButtonItem::withBarButtonSystemItem(ui::BarButtonSystemItem::FixedSpace, nullptr, rt::Sel());
    space->setWidth(Utility::systemVersionNumber() < 7 ? 0 : -15);
    auto items = ns::MutableArray::make();
    items->addObject(space);
    items->addObject(ui::BarButtonItem::withCustomView(rightBar()));
    navigationItem()->setRightBarButtonItems(items);

    auto menuItems = ns::MutableArray::make();
    menuItems->addObject(localized("ROOT_MENU_SELECT_ALL"));
    menuItems->addObject(localized("ROOT_MENU_REMOVE_ALL"));
    menuItems_ = menuItems;
    // Subscribed once, so one selection runs the handler once however often the menu opened.
    menuSelection_ = es::signalForSelector(this, rt::Sel("menuPopover:didSelectMenuItemAtIndex:"))
                         ->subscribeNext([weakSelf](const rt::Id& args) {
                             auto self = weakSelf.lock();
                             auto tuple = rt::cast<es::Tuple>(args);
                             auto index = tuple ? rt::cast<ns::Number>(tuple->objectAtIndex(1)) : nullptr;
                             if (self && index) self->menuSelected(index->longValue());
                         });
    checkProfileAndAutoRun();
}

rt::Ref<ui::View> RootTableViewController::rightBar() {
    if (rightBar_) return rightBar_;
    rightBar_ = rt::make<ui::View>(cg::Rect{{0, 0}, {80, 32}});
    auto button = [&](const char* image, const char* action) {
        auto made = ui::Button::buttonWithType(ui::ButtonType::Custom);
        made->setImageForState(ui::Image::imageNamed(image), ui::ControlStates::Normal);
        made->addTargetActionForControlEvents(rt::retained(this), rt::Sel(action),
                                              ui::ControlEvent::TouchUpInside);
        made->setTranslatesAutoresizingMaskIntoConstraints(false);
        rightBar_->addSubview(made);
        return made;
    };
    play_ = button("icon_run_n", "onRightButtonRunAction:");
    edit_ = button("icon_edit_n", "onRightButtonEditAction:");
    auto views = ns::MutableDictionary::make();
    views->setObjectForKey(play_, "play");
    views->setObjectForKey(edit_, "edit");
    auto metrics = ns::MutableDictionary::make();
    metrics->setObjectForKey(ns::Number::withInt(1), "padding");
    rightBar_->addConstraints(ui::LayoutConstraint::constraintsWithVisualFormat(
        "H:|-padding-[play]-padding-[edit]-padding-|", kAlignAllTop | kAlignAllBottom, metrics, views));
    rightBar_->addConstraints(
        ui::LayoutConstraint::constraintsWithVisualFormat("V:|[play(==32)]|", 0, nullptr, views));
    return rightBar_;
}

void RootTableViewController::onRightButtonRunAction(const rt::Id& sender) {
    // Nothing is written when no run can start (one pending, or the list not on top).
    if (!canStartRun()) return;
    auto defaults = ns::UserDefaults::standardUserDefaults();
    defaults->setBool(true, "manualrunstate");
    defaults->synchronize();
    defaults->setObjectForKey(ns::Number::withBool(true), kManualRunKey);
    onRun(sender);
}

void RootTableViewController::onRightButtonEditAction(const rt::Id&) {
    if (menuPopover_) menuPopover_->dismissMenuPopover();
    const double width = ui::Screen::mainScreen()->bounds().size.width;
    menuPopover_ = pm::MenuPopover::initWithFrame(cg::Rect{{width - 230, 64}, {250, 88}}, menuItems_);
    menuPopover_->setMenuPopoverDelegate(rt::retained(this));
    menuPopover_->showInView(view());
}

void RootTableViewController::menuSelected(long index) {
    if (menuPopover_) menuPopover_->dismissMenuPopover();
    if (index == 0) {
        onSelectAll(nullptr);
    } else if (index == 1) {
        onRemoveAll(nullptr);
    } else {
        // Reached only by a direct call: the menu offers two entries.
        const auto& files = ns::FileManager::defaultManager();
        if (files->fileExistsAtPath(profilePath())) {
            sh::ProgressHUD::showWithStatus(localized("ROOT_POPUP_DELETE_CONFIG_FILE"), sh::ProgressHUD::kMaskBlack);
            files->removeItemAtPath(profilePath(), nullptr);
            dispatch::asyncAfter(dispatch::after(1.0), dispatch::Queue::main(), [] {
                sh::ProgressHUD::showSuccessWithStatus(localized("ROOT_POPUP_DELETE_CONFIG_FILE_SUCCESS"),
                                                       sh::ProgressHUD::kMaskBlack);
            });
        }
    }
    menuPopover_ = nullptr;
}

void RootTableViewController::doCompletedForRoot(const rt::Id&) {
    setTestList(nullptr);
    if (auto table = tableView()) table->reloadData();
}

std::string RootTableViewController::profilePageAddress() {
    auto server = rt::cast<ns::String>(ns::Bundle::mainBundle()->objectForInfoDictionaryKey(Utility::kMakerServerInfoKey));
    return (server ? server->utf8() : std::string()) + "/tools/udid.mobileconfig";
}

void RootTableViewController::openSafari() {
    if (auto url = ns::URL::URLWithString(profilePageAddress())) ui::Application::sharedApplication()->openURL(url);
}

void RootTableViewController::viewWillDisappearBody(bool) {
    if (menuPopover_) menuPopover_->dismissMenuPopover();
    if (auto navigation = navigationController()) navigation->setNavigationBarHidden(false);
    TaggedRecognizers::onLastSubview().remove();
    endCountdown();
}

void RootTableViewController::setTestList(rt::Ref<ns::MutableArray> list) {
    rt::KeyChange change(this, "testList");
    testList_ = std::move(list);
}

void RootTableViewController::setIsExecuteAutoTest(bool value) {
    rt::KeyChange change(this, "isExecuteAutoTest");
    isExecuteAutoTest_ = value;
}

// ---- Countdown and runs ----

void RootTableViewController::checkProfileAndAutoRun() {
    if (!ns::FileManager::defaultManager()->fileExistsAtPath(profilePath())) return;
    ns::log("Countdown: the preselected tests start in 2 s unless the tester taps");
    sh::ProgressHUD::showWithStatus(localized("ROOTLIST_COUNTDOWN_STEP1"), sh::ProgressHUD::kMaskBlack);
    auto cancel = es::signalForSelector(this, rt::Sel("dissmissProgress:"));
    auto counter = std::make_shared<long>(3);
    rt::Weak<RootTableViewController> weakSelf(rt::retained(this));
    // Two ticks: the run starts at the second, and nothing is left to touch the shared HUD later.
    countdown_ = es::Signal::interval(1.0, es::Scheduler::mainThreadScheduler())
                     ->take(2)
                     ->takeUntil(cancel)
                     ->subscribeNext([weakSelf, counter](const rt::Id&) {
                         auto self = weakSelf.lock();
                         if (!self) return;
                         --*counter;
                         sh::ProgressHUD::setStatus(
                             ns::stringWithFormat(localized("ROOTLIST_COUNTDOWN_STEP2")->utf8(), *counter));
                         if (*counter != 1) return;
                         self->endCountdown();
                         sh::ProgressHUD::dismiss();
                         ns::UserDefaults::standardUserDefaults()->setObjectForKey(ns::Number::withBool(false),
                                                                                  kManualRunKey);
                         self->onRun(nullptr);
                     });
    // On the HUD's own view, which takes every tap while the countdown shows.
    if (auto hudView = sh::ProgressHUD::view()) {
        auto tap = ui::TapGestureRecognizer::withTargetAction(rt::retained(this), rt::Sel("dissmissProgress:"));
        setAssociatedObject(*tap, ns::String::make(kTapTag));
        hudView->addGestureRecognizer(tap);
        cancelRecognizer_ = tap;
        cancelView_ = hudView;
    }
}

void RootTableViewController::endCountdown() {
    if (countdown_) countdown_->dispose();
    countdown_ = nullptr;
    if (auto view = cancelView_.lock(); view && cancelRecognizer_) view->removeGestureRecognizer(cancelRecognizer_);
    cancelRecognizer_ = nullptr;
    cancelView_ = nullptr;
}

void RootTableViewController::dissmissProgressBody(const rt::Id&) {
    sh::ProgressHUD::dismiss();
    endCountdown();
}

void RootTableViewController::onRun(const rt::Id& sender) {
    // One run at a time, and only from the list on screen.
    if (!canStartRun()) return;
    sh::ProgressHUD::dismiss();
    setIsExecuteAutoTest(true);
    auto list = ns::MutableArray::make();
    for (const rt::Id& entry : *itemList())
        if (auto item = rt::cast<TestBaseModel>(entry); item && item->selected()) {
            item->setSuccess(TestBaseModel::kNotTested);
            list->addObject(item);
        }
    setTestList(list);
    if (list->count() == 0) return;
    runPending_ = true;
    rt::Weak<RootTableViewController> weakSelf(rt::retained(this));
    dispatch::async(dispatch::Queue::main(), [weakSelf, sender] {
        auto self = weakSelf.lock();
        if (!self) return;
        self->runPending_ = false;
        self->performSegueWithIdentifier(kRunSegue, sender);
    });
}

void RootTableViewController::prepareForSegueBody(const rt::Ref<ui::StoryboardSegue>& segue, const rt::Id& sender) {
    rt::Id destination = segue->destinationViewController();
    if (sender && &sender->getClass() == &ItemTableViewCell::staticClass()) {
        auto list = itemList();
        auto items = ns::MutableArray::make();
        if (indexOfLastSelectItem_ < list->count()) items->addObject(list->objectAtIndex(indexOfLastSelectItem_));
        ns::setValueForKey(destination, items, "doItems");
        return;
    }
    ns::setValueForKey(destination, ns::Number::withBool(isExecuteAutoTest_), "isAutoRunning");
    ns::setValueForKey(destination, testList_, "doItems");
}

void RootTableViewController::viewWillAppearBody(bool animated) {
    ui::ViewController::viewWillAppearBody(animated);
    setHeaderImage(*this);
    if (auto table = tableView()) table->reloadData();
    if (auto navigation = navigationController()) navigation->setNavigationBarHidden(false, true);
    setIsExecuteAutoTest(false);
    if (auto top = tabletopviewcon()) {
        const bool inset = hasBottomInset();
        if (inset) top->setConstant(-88);
        if (ns::UserDefaults::standardUserDefaults()->boolForKey("manualrunstate")) top->setConstant(inset ? -92 : -68);
        view()->setNeedsLayout();
    }
    // Cancel recognisers left on the window's last subview go a second later. The countdown's own
    // HUD joins the window only on the next turn, so the first appearance never finds it.
    if (auto tagged = TaggedRecognizers::onLastSubview(); !tagged.list.empty())
        dispatch::asyncAfter(dispatch::after(1.0), dispatch::Queue::main(), [tagged] { tagged.remove(); });
    // After a pop the run's items keep their results as the last ones; an unwind dropped the list.
    if (testList_)
        for (const rt::Id& entry : *testList_)
            if (auto item = rt::cast<TestBaseModel>(entry)) item->setLastCode(item->success());
}

bool RootTableViewController::canStartRun() const {
    auto navigation = navigationController();
    return !runPending_ && navigation && navigation->topViewController().get() == this;
}

// ---- Selection ----

void RootTableViewController::changeAllItemSelected(const rt::Ref<ns::Array>& items, bool selected) {
    if (!items) return;
    for (const rt::Id& entry : *items)
        if (auto item = rt::cast<TestBaseModel>(entry)) item->setSelected(selected);
}

long RootTableViewController::selectCountBySection(const rt::Ref<ns::Array>& items) const {
    long count = 0;
    if (items)
        for (const rt::Id& entry : *items)
            if (auto item = rt::cast<TestBaseModel>(entry); item && item->selected()) ++count;
    return count;
}

void RootTableViewController::updateHeaderTitle(const rt::Ref<ns::MutableDictionary>& header) {
    if (!header) return;
    bool all = true;
    if (auto items = rt::cast<ns::Array>(header->objectForKey("list")))
        for (const rt::Id& entry : *items)
            if (auto item = rt::cast<TestBaseModel>(entry); item && !item->selected()) {
                all = false;
                break;
            }
    header->setObjectForKey(localized(all ? "ROOT_MENU_REMOVE_ALL" : "ROOT_MENU_SELECT_ALL"), "btntitle");
}

void RootTableViewController::setEverythingSelected(bool selected) {
    for (const rt::Id& entry : *itemList()) {
        if (auto item = rt::cast<TestBaseModel>(entry)) item->setSelected(selected);
        else if (auto header = rt::cast<ns::MutableDictionary>(entry))
            header->setObjectForKey(localized(selected ? "ROOT_MENU_REMOVE_ALL" : "ROOT_MENU_SELECT_ALL"), "btntitle");
    }
    if (auto table = tableView()) table->reloadData();
}

void RootTableViewController::onSelectAll(const rt::Id&) {
    setEverythingSelected(true);
}

void RootTableViewController::onRemoveAll(const rt::Id&) {
    setEverythingSelected(false);
}

void RootTableViewController::selectAction(const rt::Id& sender) {
    auto button = rt::cast<ui::View>(sender);
    auto table = tableView();
    if (!button || !table) return;
    auto superview = button->superview();
    const cg::Point centre = superview ? superview->convertPointToView(button->center(), table.get()) : button->center();
    auto indexPath = table->indexPathForRowAtPoint(centre);
    if (!indexPath) return;
    auto list = itemList();
    if (indexPath->row() < 0 || static_cast<std::size_t>(indexPath->row()) >= list->count()) return;
    auto item = rt::cast<TestBaseModel>(list->objectAtIndex(static_cast<std::size_t>(indexPath->row())));
    if (!item) return;
    item->setSelected(!item->selected());
    updateHeaderTitle(item->header());
    table->reloadData();
}

rt::Ref<ns::MutableDictionary> RootTableViewController::headerAtRow(long row) const {
    auto list = itemList();
    if (row < 0 || static_cast<std::size_t>(row) >= list->count()) return nullptr;
    return rt::cast<ns::MutableDictionary>(list->objectAtIndex(static_cast<std::size_t>(row)));
}

void RootTableViewController::headerClick(const rt::Id&, const rt::Ref<ui::Event>& event) {
    auto table = tableView();
    if (!table || !event) return;
    auto touches = event->allTouches();
    if (!touches || touches->count() == 0) return;
    auto touch = rt::cast<ui::Touch>(touches->anyObject());
    if (!touch) return;
    auto indexPath = table->indexPathForRowAtPoint(touch->locationInView(table.get()));
    if (!indexPath) return;
    auto header = headerAtRow(indexPath->row());
    if (!header) return;
    auto items = rt::cast<ns::Array>(header->objectForKey("list"));
    auto title = rt::cast<ns::String>(header->objectForKey("btntitle"));
    const bool selectAll = title && title->isEqualToString(localized("ROOT_MENU_SELECT_ALL").get());
    changeAllItemSelected(items, selectAll);
    header->setObjectForKey(localized(selectAll ? "ROOT_MENU_REMOVE_ALL" : "ROOT_MENU_SELECT_ALL"), "btntitle");
    table->reloadData();
}

// ---- Table ----

long RootTableViewController::numberOfSectionsInTableView(const rt::Ref<ui::TableView>&) const {
    return 1;
}

long RootTableViewController::tableViewNumberOfRowsInSection(const rt::Ref<ui::TableView>&, long) const {
    return static_cast<long>(itemList()->count());
}

rt::Ref<ui::TableViewCell> RootTableViewController::tableViewCellForRowAtIndexPath(
    const rt::Ref<ui::TableView>& table, const rt::Ref<ns::IndexPath>& indexPath) {
    rt::Id entry = itemList()->objectAtIndex(static_cast<std::size_t>(indexPath->row()));
    rt::Weak<RootTableViewController> weakSelf(rt::retained(this));
    if (auto item = rt::cast<TestBaseModel>(entry)) {
        auto cell = rt::cast<ItemTableViewCell>(
            table->dequeueReusableCellWithIdentifier(ns::String::make(ItemTableViewCell::kReuseIdentifier)));
        cell->setAction([weakSelf](const rt::Id& sender) {
            if (auto self = weakSelf.lock()) rt::send(self, rt::Sel("selectAction:"), sender);
        });
        cell->configureCell(item);
        return cell;
    }
    auto header = rt::cast<ns::Dictionary>(entry);
    auto cell = rt::cast<SpaceTableViewCell>(
        table->dequeueReusableCellWithIdentifier(ns::String::make(SpaceTableViewCell::kReuseIdentifier)));
    cell->setAction([weakSelf](const rt::Id& sender, const rt::Ref<ui::Event>& event) {
        if (auto self = weakSelf.lock()) rt::send(self, rt::Sel("headerClick:event:"), sender, event);
    });
    if (auto navigation = navigationController()) cell->setBackgroundColor(navigation->navigationBar()->barTintColor());
    auto name = header ? rt::cast<ns::String>(header->objectForKey("name")) : nullptr;
    const long count = selectCountBySection(header ? rt::cast<ns::Array>(header->objectForKey("list")) : nullptr);
    cell->configCell(ns::stringWithFormat(name ? name->utf8() : std::string(), count),
                     header ? rt::cast<ns::String>(header->objectForKey("btntitle")) : nullptr);
    return cell;
}

double RootTableViewController::tableViewHeightForRowAtIndexPath(const rt::Ref<ui::TableView>&,
                                                                 const rt::Ref<ns::IndexPath>& indexPath) const {
    auto list = itemList();
    const auto row = static_cast<std::size_t>(indexPath->row());
    return row < list->count() && rt::cast<TestBaseModel>(list->objectAtIndex(row)) ? kItemRowHeight
                                                                                    : kHeaderRowHeight;
}

void RootTableViewController::tableViewDidSelectRowAtIndexPath(const rt::Ref<ui::TableView>& table,
                                                               const rt::Ref<ns::IndexPath>& indexPath) {
    table->deselectRowAtIndexPath(indexPath, true);
    // One run at a time, and only from the list on screen: anything else would stack runners.
    if (!canStartRun()) return;
    auto defaults = ns::UserDefaults::standardUserDefaults();
    defaults->setBool(true, kSingleRunKey);
    defaults->synchronize();
    auto cell = rt::cast<ItemTableViewCell>(table->cellForRowAtIndexPath(indexPath));
    if (!cell) return;
    setIndexOfLastSelectItem(static_cast<unsigned long>(indexPath->row()));
    performSegueWithIdentifier(kRunSegue, cell);
}

} // namespace ft
