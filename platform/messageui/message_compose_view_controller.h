#pragma once
// mf::MessageComposeViewController ("MFMessageComposeViewController"): the text-message composer.
// canSendText is the simulated device's messaging.canSendText. Presented, it shows what the system
// composer does (a bar under the status bar's band with Cancel at the left, "New Message" and Send
// at the right, the recipients under it, the body not sent yet in the entry field at the foot,
// above the home indicator's band) and logs the recipients and the body on the device
// ("message composer: to <recipients>: <body>"); nothing is sent. A tap on Cancel or Send, or the
// tester's composer.finish stimulus (on the main queue, every composer then on screen), finishes
// it: the delegate is told messageComposeViewController:didFinishWithResult: by name with the
// result's code; the composer stays up until its presenter dismisses it. The delegate is held
// weakly. Main thread only.

#include "platform/uikit/view_controller.h"

namespace ns {
class Array;
class String;
}
namespace rt {
class Protocol;
}

namespace mf {

// The composer's results, in the platform's order.
enum class MessageComposeResult : long { Cancelled = 0, Sent = 1, Failed = 2 };

// "MFMessageComposeViewControllerDelegate": its one required method,
// messageComposeViewController:didFinishWithResult:.
const rt::Protocol& messageComposeViewControllerDelegateProtocol();

class MessageComposeViewController : public ui::ViewController {
    RT_CLASS(MessageComposeViewController)
public:
    static constexpr const char* kDidFinishSelector = "messageComposeViewController:didFinishWithResult:";

    static bool canSendText();

    const rt::Ref<ns::String>& body() const noexcept { return body_; }
    void setBody(rt::Ref<ns::String> body);
    const rt::Ref<ns::Array>& recipients() const noexcept { return recipients_; }
    void setRecipients(rt::Ref<ns::Array> recipients);
    rt::Id messageComposeDelegate() const { return delegate_.lock(); }
    void setMessageComposeDelegate(const rt::Id& delegate);

    // The user's finish: tells the delegate; false when it has no such method.
    bool finish(MessageComposeResult result);
    // The bar's buttons' actions: finish as cancelled, as sent.
    void cancel(const rt::Id& sender);
    void send(const rt::Id& sender);

protected:
    MessageComposeViewController();
    ~MessageComposeViewController() override;
    void loadView() override;
    void viewDidAppearBody(bool animated) override;
    void viewDidDisappearBody(bool animated) override;

private:
    rt::Ref<ns::String> body_;
    rt::Ref<ns::Array> recipients_;
    rt::Weak<rt::Object> delegate_;
};

} // namespace mf
