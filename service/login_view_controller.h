#pragma once
// ft::LoginViewController ("LoginViewController"): the login screen, made with plain alloc/init (no
// storyboard) and made the window's root at launch. It builds its own view: the user-name field
// (`userNameField`), the secure password field (`passwordField`) and the login button
// (`loginButton`), registered under those outlet names. The fields feed the view model; the
// button is bound to its login command, so it is disabled while a login runs or a field is empty.
// The user name is pre-filled from the "username" default (the password is never stored). A
// failed login logs "Login failed: <reason>", shows the alert "Quarnotix" / the localised
// "LOGINVIEWCONTROLLER_WARNING" / "OK" and the screen stays usable (each failed request has logged
// its own cause before). Main thread only.

#include <string_view>

#include "platform/uikit/button.h"
#include "platform/uikit/text_field.h"
#include "platform/uikit/view_controller.h"
#include "service/login_view_model.h"

namespace ft {

class LoginViewController : public ui::ViewController {
    RT_CLASS(LoginViewController)
public:
    // How the log line of a failed login starts; the reason follows.
    static constexpr std::string_view kFailedLogPrefix = "Login failed: ";

    const rt::Ref<ui::TextField>& userNameField() const { return userNameField_; }
    void setUserNameField(rt::Ref<ui::TextField> field);
    const rt::Ref<ui::TextField>& passwordField() const { return passwordField_; }
    void setPasswordField(rt::Ref<ui::TextField> field);
    const rt::Ref<ui::Button>& loginButton() const { return loginButton_; }
    void setLoginButton(rt::Ref<ui::Button> button);

    const rt::Ref<LoginViewModel>& viewModel() const { return viewModel_; }

protected:
    LoginViewController() = default;
    void loadView() override;
    void viewDidLoadBody() override;

private:
    rt::Ref<ui::TextField> userNameField_, passwordField_;
    rt::Ref<ui::Button> loginButton_;
    rt::Ref<LoginViewModel> viewModel_;
};

} // namespace ft
