// The shipped localisation table and images: every key the session names resolves to a text of
// its own, formats carry the conversions their callers pass, compared texts are what the code
// compares with, and every image name finds a file.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/bundle.h"
#include "platform/uikit/image.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

class ShippedResourcesTest : public testkit::AppTest {
protected:
    static std::string text(std::string_view key) { return ns::NSLocalizedString(key)->utf8(); }
    // printf conversions of the text, "%%" left out.
    static std::vector<std::string> conversions(const std::string& s) {
        std::vector<std::string> found;
        for (std::size_t i = s.find('%'); i != std::string::npos; i = s.find('%', i)) {
            std::size_t end = i + 1;
            while (end < s.size() && s[end] == 'l' && end - i <= 2)
                ++end;
            if (end < s.size() && std::string_view("%@dui").find(s[end]) != std::string_view::npos) {
                if (s[end] != '%') found.push_back(s.substr(i + 1, end - i));
                ++end;
            }
            i = end;
        }
        return found;
    }
};

TEST_F(ShippedResourcesTest, EveryKeyResolvesToATextOfItsOwn) {
    std::vector<std::string> keys = {
        "ROOT_HEADER_AUTO_TESTING", "ROOT_HEADER_MANUAL_TESTING", "ROOTLIST_COUNTDOWN_STEP1",
        "ROOTLIST_COUNTDOWN_STEP2", "ROOT_MENU_SELECT_ALL", "ROOT_MENU_REMOVE_ALL",
        "ROOT_POPUP_DELETE_CONFIG_FILE", "ROOT_POPUP_DELETE_CONFIG_FILE_SUCCESS", "BASETEST_CONTROLLER_YES",
        "BASETEST_CONTROLLER_NO", "BASETEST_CONTROLLER_OK", "BASETEST_CONTROLLER_ACTIONSHEET_TITLE",
        "BASETEST_CONTROLLER_ACTIONSHEET_CANCEL", "BASETEST_CONTROLLER_ACTIONSHEET_EXIT",
        "BASETEST_CONTROLLER_ACTIONSHEET_SKIP", "BASETEST_CONTROLLER_ACTIONSHEET_BACK",
        "BASETEST_CONTROLLER_ALERTVIEW_MESSAGE_EXIT", "BASETEST_CONTROLLER_ALERTVIEW_MESSAGE_SKIP",
        "READYSTART_CONTROLLER_ALERTVIEW_MESSAGE_EXIT", "READYSTART_CONTROLLER_ALERTVIEW_MESSAGE_SKIP",
        "MICROPHONERECORD_CONTROLLER_WARRING", "HEADSET_CONTROLLER_WARRING", "RFTEST_CONTROLLER_WARRING",
        "RESULT_CONTROLLER_ENDTEST_TITLE", "RESULT_CONTROLLER_TEST_RESULTS",
        "RESULT_CONTROLLER_POPUP_DISCONNECT_ALERT_2", "RESULT_CONTROLLER_POPUP_SIM_ALERT", "RESULT_CONTROLLER_SAVE_FILE_FAIL",
        "RESULT_CONTROLLER_PASS",
        "RESULT_CONTROLLER_FAIL", "RESULT_VIEW_CONTROLLER_EVALUATE_LABEL", "REPORT_TRANSACTION_LABEL",
        "REPORT_TRANSACTION_SUCCESS", "REPORT_TRANSACTION_FAIL", "LOGINVIEWCONTROLLER_WARNING",
        "QV_LOGIN_HAS_USELESS_ID_ERROR", "QV_REPORT_TRANSCATION_ERROR", "CAMERA_PICTURE_CONTROLLER_BLACK",
        "CAMERA_PICTURE_CONTROLLER_PATTERN", "CAMERA_PICTURE_CONTROLLER_WHITE"};
    // The catalogue's title and description keys.
    for (const char* t :
         {"AC_USB_PLUG_TEST", "COMPUTER_USB_PLUG_TEST", "FRONT_CAMERA_BLACK_TEST", "FRONT_CAMERA_PATTERN_TEST",
          "FRONT_CAMERA_WHITE_TEST", "BACK_CAMERA_BLACK_TEST", "BACK_CAMERA_PATTERN_TEST", "BACK_CAMERA_WHITE_TEST",
          "FRONT_BLACK_CAMERA_PICTURE", "FRONT_PATTERN_CAMERA_PICTURE", "FRONT_WHITE_CAMERA_PICTURE",
          "BACK_BLACK_CAMERA_PICTURE", "BACK_PATTERN_CAMERA_PICTURE", "BACK_WHITE_CAMERA_PICTURE",
          "FRONT_CAMERA_VIDEO", "BACK_CAMERA_VIDEO", "PHYSICAL_KEYS_TEST", "HOME_KEYS_TEST", "POWER_KEYS_TEST",
          "FLASH_TEST", "GYRO_TEST", "ACCELEROMETER_TEST", "PROXIMITY_SENSOR_TEST", "LOUDSPEAKER", "HEADSET_TEST",
          "LCD_BACKLIGHT_TEST", "LCD_FILL_TEST", "MAIN_MIC_TEST", "MAIN_MIC_LOOPBACK_TEST", "TOUCH_SCREEN",
          "LDI_STICKER", "BATTERY", "SMS", "PHONE", "VIBRATION", "BLUETOOTH", "WIFI", "RF", "ROOT", "GPS"})
        keys.push_back(std::string("ROOTLIST_TITLE_") + t);
    for (const char* d :
         {"AC_USB_PLUG_TEST", "COMPUTER_USB_PLUG_TEST", "FRONT_CAMERA_BLACK_TEST", "FRONT_CAMERA_PATTERN_TEST",
          "FRONT_CAMERA_WHITE_TEST", "BACK_CAMERA_BLACK_TEST", "BACK_CAMERA_PATTERN_TEST", "BACK_CAMERA_WHITE_TEST",
          "FRONT_CAMERA_PICTURE", "BACK_CAMERA_PICTURE", "FRONT_CAMERA_VIDEO", "BACK_CAMERA_VIDEO",
          "PHYSICAL_KEYS_TEST", "HOME_KEYS_TEST", "POWER_KEYS_TEST", "FLASH_TEST", "GYRO_TEST", "ACCELEROMETER_TEST",
          "PROXIMITY_SENSOR_TEST", "LOUDSPEAKER", "HEADSET_TEST", "LCD_BACKLIGHT_TEST", "LCD_FILL_TEST",
          "MAIN_MIC_TEST", "MAIN_MIC_LOOPBACK_TEST", "TOUCH_SCREEN", "LDI_STICKER", "BATTERY", "SMS", "PHONE",
          "VIBRATION", "BLUETOOTH", "WIFI", "RF", "ROOT", "GPS"})
        keys.push_back(std::string("ROOTLIST_DESC_") + d);
    for (const std::string& key : keys) {
        const std::string value = text(key);
        EXPECT_FALSE(value.empty()) << key;
        EXPECT_NE(value, key) << key;
        // Only the listed formats carry conversions.
        const bool format = key.find("HEADER") != std::string::npos || key == "ROOTLIST_COUNTDOWN_STEP2" ||
                            key == "RESULT_CONTROLLER_PASS" || key == "RESULT_CONTROLLER_FAIL" ||
                            key == "RESULT_VIEW_CONTROLLER_EVALUATE_LABEL" || key == "ROOTLIST_DESC_SMS" ||
                            key == "ROOTLIST_DESC_PHONE";
        if (!format) {
            EXPECT_TRUE(conversions(value).empty()) << key << ": " << value;
        }
    }
}

TEST_F(ShippedResourcesTest, FormatsAndComparedTextsHoldTheirConstraints) {
    EXPECT_EQ(text("CAMERA_CONTROLLER_BLACK"), "black");
    EXPECT_EQ(text("CAMERA_CONTROLLER_PATTERN"), "specific");
    EXPECT_EQ(text("CAMERA_CONTROLLER_WHITE"), "white");
    for (const char* key : {"ROOT_HEADER_AUTO_TESTING", "ROOT_HEADER_MANUAL_TESTING", "ROOTLIST_COUNTDOWN_STEP2"})
        EXPECT_EQ(conversions(text(key)), std::vector<std::string>{"d"}) << key;
    for (const char* key : {"RESULT_CONTROLLER_PASS", "RESULT_CONTROLLER_FAIL", "RESULT_VIEW_CONTROLLER_EVALUATE_LABEL"})
        EXPECT_EQ(conversions(text(key)), std::vector<std::string>{"lld"}) << key;
    for (const char* key : {"ROOTLIST_DESC_SMS", "ROOTLIST_DESC_PHONE"})
        EXPECT_EQ(conversions(text(key)), std::vector<std::string>{"@"}) << key;
    EXPECT_NE(text("BASETEST_CONTROLLER_ACTIONSHEET_BACK"), text("BASETEST_CONTROLLER_ACTIONSHEET_SKIP"));
    EXPECT_NE(text("BASETEST_CONTROLLER_OK"), text("BASETEST_CONTROLLER_YES"));
    EXPECT_NE(text("ROOT_MENU_SELECT_ALL"), text("ROOT_MENU_REMOVE_ALL"));
}

TEST_F(ShippedResourcesTest, EveryImageNameFindsAFile) {
    std::vector<std::string> names = {"boton_vibrador", "radio", "cydia", "satellite"};
    for (const char* n : {"logo", "run_n", "edit_n", "selected_n", "unselect_n", "right_n", "fail_n", "usb",
                          "camerafront", "keyboard_button", "screen", "battery"})
        names.push_back(std::string("icon_") + n);
    for (const char* kind : {"picture", "camera"})
        for (const char* side : {"front", "back"})
            names.push_back(std::string("icon_") + kind + "_app_" + side + "_normal");
    for (const char* n : {"camarappal_c", "flash_c", "gyro", "acelerometros_c", "proximity_sensor", "speaker",
                          "headset", "luz_c", "pantalla_c", "record", "ldi_sticker", "sms", "call", "bluetooth_c",
                          "wifi_c"})
        names.push_back(std::string("icono_") + n);
    for (const std::string& name : names)
        EXPECT_TRUE(ui::Image::imageNamed(name)) << name;
    EXPECT_FALSE(ui::Image::imageNamed("icon_missing"));
}

} // namespace
