#pragma once
// fm::WebController ("FMWebController"): a form controller whose data comes from a web address.
// When its view loads it fetches `url` (else the root's `object`, when that is a string) under the
// loading overlay, parses the answer as JSON and binds the form to it. A transport error binds the
// form to an empty dictionary and shows "Error" with the error's description; an answer that is
// not JSON only takes the overlay away. The completion runs on the queue current at reload and
// holds the controller weakly: once the controller is gone it does nothing.

#include "ui/forms/form_controller.h"

namespace ns {
class Data;
class Error;
class URLRequest;
} // namespace ns

namespace fm {

class WebController : public FormController {
    RT_CLASS(WebController)
public:
    const rt::Ref<ns::String>& url() const noexcept { return url_; }
    void setUrl(rt::Ref<ns::String> url) { url_ = std::move(url); }

    // Sends a new request for `url` (nothing cancels an earlier one).
    void reload();
    // A plain request for `url`; nil when it is no address.
    rt::Ref<ns::URLRequest> createRequestForUrl() const;
    void presentResult(const rt::Ref<ns::Data>& data);
    void presentError(const rt::Ref<ns::Error>& error);

protected:
    WebController() = default;
    explicit WebController(rt::Ref<RootElement> root) : FormController(std::move(root)) {}
    ~WebController() override;
    void viewDidLoadBody() override;

private:
    rt::Ref<ns::String> url_;
};

} // namespace fm
