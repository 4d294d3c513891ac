#include "service/login_view_controller.h"

#include "platform/foundation/bundle.h"
#include "platform/foundation/error.h"
#include "platform/foundation/format.h"
#include "platform/foundation/user_defaults.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/alert_view.h"
#include "platform/uikit/screen.h"
#include "platform/uikit/view.h"
#include "streams/property_signals.h"
#include "streams/uikit/command_bindings.h"
#include "streams/uikit/control_signals.h"

RT_DEFINE_CLASS(ft::LoginViewController, "LoginViewController", ui::ViewController,
                rt::prop("userNameField", &ft::LoginViewController::userNameField,
                         &ft::LoginViewController::setUserNameField),
                rt::prop("passwordField", &ft::LoginViewController::passwordField,
                         &ft::LoginViewController::setPasswordField),
                rt::prop("loginButton", &ft::LoginViewController::loginButton, &ft::LoginViewController::setLoginButton))

namespace ft {

void LoginViewController::setUserNameField(rt::Ref<ui::TextField> field) {
    rt::KeyChange change(this, "userNameField");
    userNameField_ = std::move(field);
}

void LoginViewController::setPasswordField(rt::Ref<ui::TextField> field) {
    rt::KeyChange change(this, "passwordField");
    passwordField_ = std::move(field);
}

void LoginViewController::setLoginButton(rt::Ref<ui::Button> button) {
    rt::KeyChange change(this, "loginButton");
    loginButton_ = std::move(button);
}

void LoginViewController::loadView() {
    const cg::Rect bounds = ui::Screen::mainScreen()->bounds();
    auto view = rt::make<ui::View>(bounds);
    const double width = bounds.size.width - 40;
    auto field = [&](const char* placeholder, double y) {
        auto f = rt::make<ui::TextField>(cg::Rect{{20, y}, {width, 40}});
        f->setPlaceholder(ns::NSLocalizedString(placeholder));
        f->setBorderStyle(ui::TextBorderStyle::RoundedRect);
        view->addSubview(f);
        return f;
    };
    setUserNameField(field("LOGINVIEWCONTROLLER_USERNAME", 160));
    setPasswordField(field("LOGINVIEWCONTROLLER_PASSWORD", 210));
    passwordField_->setSecureTextEntry(true);
    auto button = ui::Button::buttonWithType(ui::ButtonType::System);
    button->setFrame(cg::Rect{{20, 270}, {width, 44}});
    button->setTitleForState(ns::NSLocalizedString("LOGINVIEWCONTROLLER_LOGIN"), ui::ControlStates::Normal);
    view->addSubview(button);
    setLoginButton(button);
    setView(view);
}

void LoginViewController::viewDidLoadBody() {
    ui::ViewController::viewDidLoadBody();
    viewModel_ = LoginViewModel::make();
    // The saved login: the user name only.
    if (auto saved = ns::UserDefaults::standardUserDefaults()->stringForKey("username")) {
        userNameField_->setText(saved);
    }
    es::deriveProperty(viewModel_, "username", es::textSignal(userNameField_.get()));
    es::deriveProperty(viewModel_, "password", es::textSignal(passwordField_.get()));
    es::setCommand(loginButton_.get(), viewModel_->loginCommand());
    viewModel_->loginCommand()->errors()->subscribeNext([](const rt::Ref<ns::Error>& error) {
        rt::Ref<ns::String> reason = error ? error->localizedFailureReason() : nullptr;
        ns::logLine(std::string(kFailedLogPrefix) + (reason ? reason->utf8() : "(null)"));
        auto alert = rt::make<ui::AlertView>(ns::String::make("Quarnotix"),
                                             ns::NSLocalizedString("LOGINVIEWCONTROLLER_WARNING"), nullptr, nullptr,
                                             std::vector<rt::Ref<ns::String>>{ns::String::make("OK")});
        alert->show();
    });
}

} // namespace ft
