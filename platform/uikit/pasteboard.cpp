#include "platform/uikit/pasteboard.h"

#include "platform/foundation/string.h"
#include "platform/foundation/url.h"
#include "platform/runtime/class.h"

namespace ui {

RT_DEFINE_CLASS(Pasteboard, "UIPasteboard", rt::Object,
                rt::prop("string", &Pasteboard::string, &Pasteboard::setString),
                rt::prop("URL", &Pasteboard::URL, &Pasteboard::setURL),
                rt::classMethod("generalPasteboard", &Pasteboard::generalPasteboard))

Pasteboard::Pasteboard() = default;
Pasteboard::~Pasteboard() = default;

rt::Ref<Pasteboard> Pasteboard::generalPasteboard() {
    static const rt::Ref<Pasteboard> general = rt::immortal(rt::make<Pasteboard>());
    return general;
}

rt::Ref<ns::String> Pasteboard::string() const {
    if (auto url = rt::cast<ns::URL>(item_)) return url->absoluteString();
    return rt::cast<ns::String>(item_);
}

void Pasteboard::setString(const rt::Ref<ns::String>& string) {
    item_ = string ? rt::Id(rt::cast<ns::String>(string->copy())) : nullptr;
}

rt::Ref<ns::URL> Pasteboard::URL() const {
    return rt::cast<ns::URL>(item_);
}

void Pasteboard::setURL(const rt::Ref<ns::URL>& url) {
    item_ = url;
}

} // namespace ui
