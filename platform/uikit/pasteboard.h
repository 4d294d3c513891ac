#pragma once
// ui::Pasteboard ("UIPasteboard"): the general pasteboard holds one item, a string or a URL; the
// last set wins. Main thread only.

#include "platform/runtime/object.h"

namespace ns {
class String;
class URL;
}

namespace ui {

class Pasteboard : public rt::Object {
    RT_CLASS(Pasteboard)
public:
    static rt::Ref<Pasteboard> generalPasteboard();

    // The item when it is a string (a URL's absolute string for a URL item); nil when empty.
    rt::Ref<ns::String> string() const;
    void setString(const rt::Ref<ns::String>& string);
    // The item when it is a URL.
    rt::Ref<ns::URL> URL() const;
    void setURL(const rt::Ref<ns::URL>& url);

protected:
    Pasteboard();
    ~Pasteboard() override;

private:
    rt::Id item_;
};

} // namespace ui
