#include "session/root_table_view_controller.h"

#include <array>
#include <cstdlib>
#include <optional>

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
#include "platform/uikit/application.h"
#include "platform/uikit/device.h"
#include "platform/uikit/window.h"
#include "session/app_delegate.h"
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
                rt::method("isForAppStoreReview", &RootTableViewController::isForAppStoreReview),
                rt::method("parseProfile:", &RootTableViewController::parseProfile))

namespace {

// What a row needs of the device to be created.
enum class Needs { Nothing, FrontCamera, BackCamera, HomeKey, Flash, Gyroscope, Accelerometer, Phone, NotReview, Cellular };

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
    {"PROXIMITY_SENSOR_TEST", "ProximityViewController", "PROXIMITY_SENSOR_TEST", "PROXIMITY_SENSOR_TEST", "icono_proximity_sensor", nullptr, nullptr, Needs::Phone, false},
    {"LOUDSPEAKER", "LouderSpeakerViewController", "LOUDSPEAKER", "LOUDSPEAKER", "icono_speaker", nullptr, nullptr, Needs::Nothing, false},
    {"HEADSET_TEST", "HeadsetPlugViewController", "HEADSET_TEST", "HEADSET_TEST", "icono_headset", nullptr, nullptr, Needs::Nothing, false},
    {"LCD_BACKLIGHT_TEST", "BrightnessViewController", "LCD_BACKLIGHT_TEST", "LCD_BACKLIGHT_TEST", "icono_luz_c", nullptr, nullptr, Needs::Nothing, false},
    {"LCD_FILL_TEST", "FillColorViewController", "LCD_FILL_TEST", "LCD_FILL_TEST", "icono_pantalla_c", nullptr, nullptr, Needs::NotReview, false},
    {"MAIN_MIC_TEST", "MicrophoneRecordViewController", "MAIN_MIC_TEST", "MAIN_MIC_TEST", "icono_record", nullptr, nullptr, Needs::Nothing, false},
    {"MAIN_MIC_LOOPBACK_TEST", "MicrophoneLoopBackViewController", "MAIN_MIC_LOOPBACK_TEST", "MAIN_MIC_LOOPBACK_TEST", "icono_record", nullptr, nullptr, Needs::Nothing, false},
    {"TOUCH_SCREEN", "TouchScreenViewController", "TOUCH_SCREEN", "TOUCH_SCREEN", "icon_screen", nullptr, nullptr, Needs::NotReview, false},
    {"LDI_STICKER", "WaterDamgeViewController", "LDI_STICKER", "LDI_STICKER", "icono_ldi_sticker", nullptr, nullptr, Needs::Nothing, false},
    {"BATTERY", "BatteryViewController", "BATTERY", "BATTERY", "icon_battery", nullptr, nullptr, Needs::Nothing, false},
    {"SMS", "SMSViewController", "SMS", "SMS", "icono_sms", nullptr, nullptr, Needs::Phone, true},
    {"PHONECALL", "MakeCallViewController", "PHONE", "PHONE", "icono_call", nullptr, nullptr, Needs::Phone, true},
    {"VIBRATION", "VibrationViewController", "VIBRATION", "VIBRATION", "boton_vibrador", nullptr, nullptr, Needs::Phone, false},
    {"BLUETOOTH", "BluetoothViewController", "BLUETOOTH", "BLUETOOTH", "icono_bluetooth_c", nullptr, nullptr, Needs::Nothing, false},
    {"WIFI", "WifiViewController", "WIFI", "WIFI", "icono_wifi_c", nullptr, nullptr, Needs::Nothing, false},
    {"RF", "RFTestViewController", "RF", "RF", "radio", nullptr, nullptr, Needs::Cellular, false},
    {"ROOT", "JailBreakViewController", "ROOT", "ROOT", "cydia", nullptr, nullptr, Needs::NotReview, false},
    {"GPS", "GPSViewController", "GPS", "GPS", "satellite", nullptr, nullptr, Needs::Nothing, false},
}};

constexpr std::int64_t kBackCamera = 1;
constexpr std::int64_t kFrontCamera = 2;

rt::Ref<ns::String> localized(std::string_view key) {
    return ns::Bundle::mainBundle()->localizedStringForKey(key, "");
}

rt::Ref<ns::String> localized(std::string_view prefix, std::string_view key) {
    std::string full(prefix);
    full += key;
    return localized(full);
}

// The system version's leading number, as a float reading of "12.4.1" gives 12.4.
double systemVersion() {
    auto text = ui::Device::currentDevice()->systemVersion();
    return text ? std::strtod(text->utf8().c_str(), nullptr) : 0;
}

bool hasHomeKey() {
    rt::Ref<ui::Window> window;
    if (auto application = ui::Application::sharedApplication())
        if (auto delegate = rt::cast<AppDelegate>(application->delegate())) window = delegate->window();
    const bool bottomInset = systemVersion() >= 11 && window && window->safeAreaInsets().bottom > 0;
    return !bottomInset && !Utility::iPadPro();
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

bool deviceMeets(Needs needs, const RootTableViewController& list) {
    switch (needs) {
    case Needs::Nothing: return true;
    case Needs::FrontCamera: return FunctionHelper::hasCameraWithPosition(kFrontCamera);
    case Needs::BackCamera: return FunctionHelper::hasCameraWithPosition(kBackCamera);
    case Needs::HomeKey: return hasHomeKey();
    case Needs::Flash: return FunctionHelper::hasFlash();
    case Needs::Gyroscope: return FunctionHelper::hasGyroscope();
    case Needs::Accelerometer: return FunctionHelper::hasAccelerometer();
    case Needs::Phone: return isPhone();
    case Needs::NotReview: return !list.isForAppStoreReview();
    case Needs::Cellular: return hasCellular();
    }
    return false;
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
    for (std::size_t i = 0; i < kRows.size(); ++i) {
        const Row& row = kRows[i];
        if (row.needs != lastNeeds) {
            lastMet = deviceMeets(row.needs, *this);
            lastNeeds = row.needs;
        }
        if (!lastMet) continue;
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

} // namespace ft
