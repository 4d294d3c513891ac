#pragma once
// ft::LoginViewModel ("LoginViewModel"): the login. Its command runs the steps below in order and
// stops at the first failure (the command's error; the screen shows the alert):
//   1. client profile: both addresses must be absolute http(s) URLs; they become the shared
//      client's admin-console and web-service addresses;
//   2. auth with the user name and password: the reply needs "status" 1 (a whole number, 1 or
//      "1") and whole numbers "loginid" and "company". Stores "username", the "logininfo" archive
//      and the model in the memory cache under "logininfo";
//   3. features: stores the "querysn" archive (productid, solutionid) and writes the enabled keys,
//      joined by ",", to Documents/"functiontest_config.txt" (atomically, UTF-8). A key that is
//      not letters, digits and "_" is dropped and logged: a comma or newline would corrupt the file;
//   4. the Wi-Fi-only table: stored under "wifionlylist" (the built-in one when the download fails);
//   5. the model number: stored under "devicename", removed when none is found;
//   6. with no "uniqueid" stored: opens "<web service>/api/udid?prefix=qx" in the browser and waits
//      for the identity's notification (the first one only);
//   7. insert: a client-made uuid, stored under "transcationuuid" once the reply has "status" 1;
//   8. synchronises the defaults, then makes storyboard "Main"'s initial controller the key
//      window's root.
// The command allows one login at a time and is enabled only while both fields hold text. A
// retry runs all steps again from the first; each login inserts one transaction. The password is
// never stored and never logged; identifiers in log lines are masked.
//
// At set-up it observes "kReceiveimeiNotification": receiveImei: reads "uniqueid" into `imei`.
// Main thread only.

#include <string>
#include <string_view>

#include "platform/foundation/error.h"
#include "platform/foundation/string.h"
#include "streams/command.h"
#include "streams/view_model.h"

namespace ns {
class Notification;
}

namespace ui {
class Application;
}

namespace ft {

class LoginModel;

class LoginViewModel : public es::ViewModel {
    RT_CLASS(LoginViewModel)
public:
    static constexpr const char* kConfigFileName = "functiontest_config.txt";
    // The log line the login's start writes, before the user name.
    static constexpr std::string_view kLoggingInLogPrefix = "Login: logging in as ";

    static rt::Ref<LoginViewModel> make();
    ~LoginViewModel() override;

    const rt::Ref<ns::String>& username() const { return username_; }
    void setUsername(rt::Ref<ns::String> v);
    const rt::Ref<ns::String>& password() const { return password_; }
    void setPassword(rt::Ref<ns::String> v);
    const rt::Ref<ns::String>& imei() const { return imei_; }
    void setImei(rt::Ref<ns::String> v);

    // Executes the login (input ignored); its errors are the failures of the steps.
    const rt::Ref<es::Command>& loginCommand() const { return loginCommand_; }

    void receiveImei(const rt::Ref<ns::Notification>& notification);

    // The error of a failed step: domain the localised "LOGINVIEWCONTROLLER_WARNING", code 0, the
    // reason as failure reason.
    static rt::Ref<ns::Error> stepError(const std::string& reason);

protected:
    LoginViewModel() = default;

private:
    void setUp();
    rt::Ref<es::Signal> loginSignal();
    // Step 6: the login at once when an identity is stored, else after the intake.
    rt::Ref<es::Signal> identitySignal(const rt::Ref<ui::Application>& application,
                                       const rt::Ref<LoginModel>& login);

    rt::Ref<ns::String> username_, password_, imei_;
    rt::Ref<es::Command> loginCommand_;
    rt::Id imeiObserver_;
};

} // namespace ft
