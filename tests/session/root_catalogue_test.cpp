// The root list's catalogue: which tests a device gets, in which order, and what the profile file
// preselects.

#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/foundation/application_home.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/uikit/window.h"
#include "session/app_delegate.h"
#include "session/core/test_base_model.h"
#include "session/core/utility.h"
#include "session/root_table_view_controller.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

using ft::RootTableViewController;
using ft::TestBaseModel;

constexpr const char* kIPhoneKeys =
    "<auto> VIBRATION BLUETOOTH WIFI RF ROOT GPS <manual> AC_USB_PLUG_TEST COMPUTER_USB_PLUG_TEST "
    "FRONT_CAMERA_BLACK_TEST FRONT_CAMERA_PATTERN_TEST FRONT_CAMERA_WHITE_TEST BACK_CAMERA_BLACK_TEST "
    "BACK_CAMERA_PATTERN_TEST BACK_CAMERA_WHITE_TEST FRONT_CAMERA_BLACK_CAPTURE_TEST "
    "FRONT_CAMERA_PATTERN_CAPTURE_TEST FRONT_CAMERA_WHITE_CAPTURE_TEST BACK_CAMERA_BLACK_CAPTURE_TEST "
    "BACK_CAMERA_PATTERN_CAPTURE_TEST BACK_CAMERA_WHITE_CAPTURE_TEST FRONT_CAMERA_VIDEO_TEST BACK_CAMERA_VIDEO_TEST "
    "PHYSICAL_KEYS_TEST HOME_KEY_TEST POWER_KEY_TEST FLASH_TEST GYRO_TEST ACCELEROMETER_TEST PROXIMITY_SENSOR_TEST "
    "LOUDSPEAKER HEADSET_TEST LCD_BACKLIGHT_TEST LCD_FILL_TEST MAIN_MIC_TEST MAIN_MIC_LOOPBACK_TEST TOUCH_SCREEN "
    "LDI_STICKER BATTERY SMS PHONECALL";

std::string without(std::string keys, std::initializer_list<std::string_view> dropped) {
    for (auto key : dropped) {
        const std::string word = " " + std::string(key) + " ";
        keys += " ";
        const auto at = (" " + keys).find(word);
        if (at == std::string::npos) ADD_FAILURE() << key << " is not in the list";
        else keys.erase(at, key.size() + 1);
        keys.pop_back();
    }
    return keys;
}

class CatalogueTest : public ::testing::Test {
protected:
    // Installs the device, gives the application delegate its window and stores the built-in
    // Wi-Fi-only table, as start-up does.
    void install(testkit::AppOptions options) {
        list_ = nullptr;
        app_.reset(); // one fixture at a time
        options.delegateClass = "AppDelegate";
        app_ = std::make_unique<testkit::AppFixture>(std::move(options));
        auto window = rt::make<ui::Window>();
        rt::cast<ft::AppDelegate>(app_->delegate())->setWindow(window);
        ft::Utility::generateWifiOnlyDataFileIfNecessary();
    }
    void writeProfile(std::string_view text) {
        std::ofstream(RootTableViewController::profilePath()) << text;
    }
    // The list's result keys in order, the headers as <auto> and <manual>.
    std::string keys() {
        list_ = RootTableViewController::make();
        std::string out;
        for (const rt::Id& entry : *list_->itemList()) {
            if (!out.empty()) out += " ";
            if (entry == list_->header1Model()) out += "<auto>";
            else if (entry == list_->header2Model()) out += "<manual>";
            else out += rt::cast<TestBaseModel>(entry)->profile()->utf8();
        }
        return out;
    }
    rt::Ref<TestBaseModel> item(std::string_view profile) {
        for (const rt::Id& entry : *list_->itemList())
            if (auto model = rt::cast<TestBaseModel>(entry); model && model->profile()->isEqualToString(profile))
                return model;
        ADD_FAILURE() << profile << " is not in the list";
        return nullptr;
    }
    std::string text(const rt::Ref<ns::MutableDictionary>& header, const char* key) {
        auto value = rt::cast<ns::String>(header->objectForKey(key));
        return value ? value->utf8() : "(none)";
    }
    std::string selectedKeys() {
        std::string out;
        for (const rt::Id& entry : *list_->itemList())
            if (auto model = rt::cast<TestBaseModel>(entry); model && model->selected())
                out += (out.empty() ? "" : " ") + model->profile()->utf8();
        return out;
    }

    std::unique_ptr<testkit::AppFixture> app_;
    rt::Ref<RootTableViewController> list_;

    void TearDown() override {
        list_ = nullptr;
        app_.reset();
    }
};

TEST_F(CatalogueTest, AFullyEquippedPhoneGetsEveryTestAutomaticGroupFirst) {
    install({});
    ns::CapturedLog log;
    EXPECT_EQ(keys(), kIPhoneKeys);
    EXPECT_EQ(list_->itemList()->count(), 42u);
    EXPECT_EQ(list_->itemList(), list_->itemList()); // built once
    EXPECT_TRUE(log.lines().empty()); // every row key is a property of the item

    EXPECT_EQ(item("BACK_CAMERA_PATTERN_TEST")->direction()->utf8(), "Back");
    EXPECT_EQ(item("BACK_CAMERA_WHITE_TEST")->direction()->utf8(), "back");
    EXPECT_EQ(item("FRONT_CAMERA_PATTERN_TEST")->color()->utf8(), "specific");
    EXPECT_EQ(item("BACK_CAMERA_PATTERN_TEST")->color()->utf8(), "specific");
    EXPECT_FALSE(item("FRONT_CAMERA_VIDEO_TEST")->color());
    EXPECT_NE(item("SMS")->message()->utf8().find("Quarnotix"), std::string::npos);
    EXPECT_NE(item("PHONECALL")->message()->utf8().find("Quarnotix"), std::string::npos);
    EXPECT_TRUE(item("GPS")->isAuto());
    EXPECT_FALSE(item("PHONECALL")->isAuto());
    EXPECT_EQ(item("WIFI")->name()->utf8(), "WifiViewController");

    // Each item shares its group's header, which lists the group's items in order.
    auto autoList = rt::cast<ns::Array>(list_->header1Model()->objectForKey("list"));
    ASSERT_TRUE(autoList);
    EXPECT_EQ(autoList->count(), 6u);
    EXPECT_EQ(autoList->objectAtIndex(0), rt::Id(item("VIBRATION")));
    EXPECT_EQ(item("GPS")->header(), list_->header1Model());
    EXPECT_EQ(item("BATTERY")->header(), list_->header2Model());
    EXPECT_EQ(rt::cast<ns::Array>(list_->header2Model()->objectForKey("list"))->count(), 34u);
}

TEST_F(CatalogueTest, HomeKeyGoesWithABottomInsetOrAnIPadPro) {
    install({.adjust = [](sim::Profile& p) { p.safeAreaInsets.bottom = 34; }});
    EXPECT_EQ(keys(), without(kIPhoneKeys, {"HOME_KEY_TEST"}));

    // Below system 11 there is no safe area, so the key stays.
    install({.adjust = [](sim::Profile& p) {
        p.safeAreaInsets.bottom = 34;
        p.systemVersion = "10.3";
    }});
    EXPECT_EQ(keys(), kIPhoneKeys);

    install({.adjust = [](sim::Profile& p) { p.machine = "iPad8,1"; }});
    EXPECT_EQ(keys(), without(kIPhoneKeys, {"HOME_KEY_TEST"}));
}

TEST_F(CatalogueTest, PhoneOnlyTestsNeedAPhoneAndCellularAnIPadNotListedWifiOnly) {
    install({.device = "ipod_touch"});
    auto ipod = keys();
    EXPECT_EQ(ipod.find("PROXIMITY_SENSOR_TEST"), std::string::npos);
    EXPECT_EQ(ipod.find("SMS"), std::string::npos);
    EXPECT_EQ(ipod.find("PHONECALL"), std::string::npos);
    EXPECT_EQ(ipod.find("VIBRATION"), std::string::npos);
    EXPECT_EQ(ipod.find(" RF "), std::string::npos);
    EXPECT_NE(ipod.find("BATTERY"), std::string::npos);

    install({.device = "ipad_wifi"});
    EXPECT_EQ(keys().find(" RF "), std::string::npos);
    install({.device = "ipad_cellular"});
    EXPECT_NE(keys().find(" RF "), std::string::npos);

    // A stored table of the wrong form counts as Wi-Fi only.
    install({.device = "ipad_cellular"});
    ns::UserDefaults::standardUserDefaults()->setObjectForKey(ns::String::make("iPad5,4"), "wifionlylist");
    EXPECT_EQ(keys().find(" RF "), std::string::npos);
}

TEST_F(CatalogueTest, TheReviewAccountLosesTheTestsAReviewerCannotJudge) {
    install({});
    ns::UserDefaults::standardUserDefaults()->setObjectForKey(ns::String::make("qx_reviewapp"), "username");
    EXPECT_EQ(keys(), without(kIPhoneKeys, {"LCD_FILL_TEST", "TOUCH_SCREEN", "ROOT"}));

    install({});
    ns::UserDefaults::standardUserDefaults()->setObjectForKey(ns::String::make("QX_reviewapp"), "username");
    EXPECT_EQ(keys(), kIPhoneKeys);
}

TEST_F(CatalogueTest, MissingCamerasDropTheirRowsAndTheRestKeepTheirOrder) {
    install({.adjust = [](sim::Profile& p) { p.removeCameras(sim::CameraPosition::Front); }});
    EXPECT_EQ(keys(), without(kIPhoneKeys, {"FRONT_CAMERA_BLACK_TEST", "FRONT_CAMERA_PATTERN_TEST",
                                            "FRONT_CAMERA_WHITE_TEST", "FRONT_CAMERA_BLACK_CAPTURE_TEST",
                                            "FRONT_CAMERA_PATTERN_CAPTURE_TEST", "FRONT_CAMERA_WHITE_CAPTURE_TEST",
                                            "FRONT_CAMERA_VIDEO_TEST"}));

    install({.adjust = [](sim::Profile& p) { p.cameras.clear(); }});
    EXPECT_EQ(keys(),
              without(kIPhoneKeys,
                      {"FRONT_CAMERA_BLACK_TEST", "FRONT_CAMERA_PATTERN_TEST", "FRONT_CAMERA_WHITE_TEST",
                       "BACK_CAMERA_BLACK_TEST", "BACK_CAMERA_PATTERN_TEST", "BACK_CAMERA_WHITE_TEST",
                       "FRONT_CAMERA_BLACK_CAPTURE_TEST", "FRONT_CAMERA_PATTERN_CAPTURE_TEST",
                       "FRONT_CAMERA_WHITE_CAPTURE_TEST", "BACK_CAMERA_BLACK_CAPTURE_TEST",
                       "BACK_CAMERA_PATTERN_CAPTURE_TEST", "BACK_CAMERA_WHITE_CAPTURE_TEST", "FRONT_CAMERA_VIDEO_TEST",
                       "BACK_CAMERA_VIDEO_TEST", "FLASH_TEST"}));
}

TEST_F(CatalogueTest, TheProfilePreselectsExactKeysAndSetsTheHeaderButtons) {
    install({});
    writeProfile(" WIFI ,\nGPS,BATTERY ,\n");
    keys();
    EXPECT_EQ(selectedKeys(), "WIFI GPS BATTERY");
    EXPECT_TRUE(ns::UserDefaults::standardUserDefaults()->boolForKey("hasprofile"));
    EXPECT_EQ(text(list_->header1Model(), "btntitle"), "Select all");
    EXPECT_EQ(text(list_->header2Model(), "btntitle"), "Select all");
    EXPECT_EQ(text(list_->header1Model(), "name"), "Automatic tests (%d selected)");
    auto keysRead = list_->parseProfile(ns::String::make(RootTableViewController::profilePath()));
    ASSERT_EQ(keysRead->count(), 3u);
    EXPECT_EQ(rt::cast<ns::String>(keysRead->objectAtIndex(2))->utf8(), "BATTERY");

    install({});
    writeProfile("wifi");
    keys();
    EXPECT_EQ(selectedKeys(), "");
    EXPECT_TRUE(ns::UserDefaults::standardUserDefaults()->boolForKey("hasprofile")); // a key, matching nothing

    install({});
    writeProfile("VIBRATION,BLUETOOTH,WIFI,RF,ROOT,GPS,NOT_A_TEST");
    keys();
    EXPECT_EQ(text(list_->header1Model(), "btntitle"), "Remove all");
    EXPECT_EQ(text(list_->header2Model(), "btntitle"), "Select all");
}

// Each key the profile asks for that names a row the device leaves out is named once, in the
// profile's order, with what the device lacks; keys naming no row are neither.
TEST_F(CatalogueTest, TheProfileKeysADeviceDoesNotOfferAreNamedWithWhatItLacks) {
    const struct {
        testkit::AppOptions device;
        bool reviewer; // logged in as the review account
        const char* profile;
        const char* notOffered;
        std::size_t offered;
    } cases[] = {
        {{.device = "ipad_wifi"}, false, "VIBRATION,WIFI,RF,NOPE,FLASH_TEST,PROXIMITY_SENSOR_TEST,SMS,VIBRATION,PHONECALL",
         "VIBRATION: no vibration motor, RF: no cellular radio, FLASH_TEST: no flash, PROXIMITY_SENSOR_TEST: no "
         "proximity sensor, SMS: no phone calls or text messages, PHONECALL: no phone calls or text messages",
         1},
        {{.adjust = [](sim::Profile& p) { p.cameras.clear(); }}, false, "FRONT_CAMERA_VIDEO_TEST,BACK_CAMERA_BLACK_TEST",
         "FRONT_CAMERA_VIDEO_TEST: no front camera, BACK_CAMERA_BLACK_TEST: no back camera", 0},
        {{}, true, "TOUCH_SCREEN,GPS", "TOUCH_SCREEN: not for the review account", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.profile);
        install(c.device);
        if (c.reviewer)
            ns::UserDefaults::standardUserDefaults()->setObjectForKey(ns::String::make("qx_reviewapp"), "username");
        writeProfile(c.profile);
        keys();
        std::string named;
        for (const auto& row : list_->notOffered())
            named += (named.empty() ? "" : ", ") + row.key + ": " + row.lacking;
        EXPECT_EQ(named, c.notOffered);
        EXPECT_EQ(list_->offeredPreselection(), c.offered);
    }
}

TEST_F(CatalogueTest, NoProfileOrOneWithoutKeysSelectsNothing) {
    install({});
    keys();
    EXPECT_EQ(selectedKeys(), "");
    auto stored = rt::cast<ns::Number>(ns::UserDefaults::standardUserDefaults()->objectForKey("hasprofile"));
    ASSERT_TRUE(stored);
    EXPECT_FALSE(stored->boolValue());
    EXPECT_EQ(text(list_->header1Model(), "btntitle"), "Select all");
    EXPECT_EQ(text(list_->header2Model(), "btntitle"), "Select all");

    install({});
    writeProfile(" ,\n, ");
    keys();
    EXPECT_EQ(selectedKeys(), "");
    EXPECT_FALSE(ns::UserDefaults::standardUserDefaults()->boolForKey("hasprofile"));

    install({});
    writeProfile("WIFI,\xff\xfe");
    keys();
    EXPECT_EQ(selectedKeys(), ""); // not UTF-8: no text
}

} // namespace
