#include "ui/forms/web_controller.h"

#include "platform/foundation/data.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/json.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/url.h"
#include "platform/foundation/url_connection.h"
#include "platform/foundation/url_request.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/uikit/alert_view.h"
#include "ui/forms/form_table_view.h"
#include "ui/forms/root_element.h"

namespace fm {

WebController::~WebController() = default;

void WebController::viewDidLoadBody() {
    FormController::viewDidLoadBody();
    if (!url_ && root()) url_ = rt::cast<ns::String>(root()->object());
    if (!url_) return;
    loading(true);
    reload();
}

rt::Ref<ns::URLRequest> WebController::createRequestForUrl() const {
    auto address = url_ ? ns::URL::URLWithString(url_) : nullptr;
    return address ? ns::URLRequest::requestWithURL(address) : nullptr;
}

void WebController::reload() {
    auto request = createRequestForUrl();
    if (!request) {
        ns::logLine("No address to load a form's data from: " + (url_ ? url_->utf8() : std::string("(null)")));
        loading(false);
        return;
    }
    rt::Weak<WebController> weakSelf = rt::retained(this);
    ns::URLConnection::sendAsynchronousRequest(
        request, ns::OperationQueue::currentQueue(),
        [weakSelf](const rt::Ref<ns::URLResponse>&, const rt::Ref<ns::Data>& data, const rt::Ref<ns::Error>& error) {
            auto self = weakSelf.lock();
            if (!self) return;
            if (error) self->presentError(error);
            else self->presentResult(data);
        });
}

void WebController::presentResult(const rt::Ref<ns::Data>& data) {
    rt::Id parsed = data ? ns::JSONSerialization::JSONObjectWithData(data) : nullptr;
    if (parsed && root()) {
        root()->bindToObject(parsed);
        if (formTableView()) formTableView()->reloadData();
    }
    loading(false);
}

void WebController::presentError(const rt::Ref<ns::Error>& error) {
    if (root()) root()->bindToObject(ns::Dictionary::make());
    if (formTableView()) formTableView()->reloadData();
    auto message = error ? error->localizedDescription() : nullptr;
    rt::make<ui::AlertView>(ns::str("Error"), message, rt::Id(), ns::str("OK"))->show();
    loading(false);
}

RT_DEFINE_CLASS(WebController, "FMWebController", FormController,
                rt::prop("url", &WebController::url, &WebController::setUrl),
                rt::method("reload", &WebController::reload))

} // namespace fm
