#pragma once
// ui::BarButtonItem ("UIBarButtonItem"): an item of a navigation bar or toolbar: a title, an
// image, a system item or a custom view, with one target (held weakly) and one action.
//
// Headless, nothing lays items out: a flexible or fixed space is an item with a width. A tap on
// the item (performAction, the harness's) sends the action by name with the item as sender.

#include "platform/foundation/string.h"
#include "platform/runtime/sel.h"
#include "platform/runtime/object.h"

namespace ui {

class Event;
class Image;
class View;

enum class BarButtonItemStyle : long { Plain = 0, Bordered = 1, Done = 2 };
enum class BarButtonSystemItem : long {
    Done = 0, Cancel = 1, Edit = 2, Save = 3, Add = 4, FlexibleSpace = 5, FixedSpace = 6, Compose = 7,
    Reply = 8, Action = 9, Organize = 10, Bookmarks = 11, Search = 12, Refresh = 13, Stop = 14, Camera = 15,
    Trash = 16, Play = 17, Pause = 18, Rewind = 19, FastForward = 20, Undo = 21, Redo = 22, PageCurl = 23, Close = 24,
};

class BarButtonItem : public rt::Object {
    RT_CLASS(BarButtonItem)
public:
    static rt::Ref<BarButtonItem> withTitle(rt::Ref<ns::String> title, BarButtonItemStyle style, const rt::Id& target,
                                            rt::Sel action);
    static rt::Ref<BarButtonItem> withImage(rt::Ref<Image> image, BarButtonItemStyle style, const rt::Id& target,
                                            rt::Sel action);
    static rt::Ref<BarButtonItem> withBarButtonSystemItem(BarButtonSystemItem item, const rt::Id& target, rt::Sel action);
    static rt::Ref<BarButtonItem> withCustomView(rt::Ref<View> view);
    // A fixed space of that width.
    static rt::Ref<BarButtonItem> fixedSpace(double width);
    static rt::Ref<BarButtonItem> flexibleSpace();

    const rt::Ref<ns::String>& title() const noexcept { return title_; }
    void setTitle(rt::Ref<ns::String> title);
    const rt::Ref<Image>& image() const noexcept { return image_; }
    void setImage(rt::Ref<Image> image);
    bool isEnabled() const noexcept { return enabled_; }
    void setEnabled(bool enabled);
    long tag() const noexcept { return tag_; }
    void setTag(long tag);
    BarButtonItemStyle style() const noexcept { return style_; }
    void setStyle(BarButtonItemStyle style);
    double width() const noexcept { return width_; }
    void setWidth(double width);
    const rt::Ref<View>& customView() const noexcept { return customView_; }
    void setCustomView(rt::Ref<View> view);
    // Whether it is a system item, and which.
    bool isSystemItem() const noexcept { return system_; }
    BarButtonSystemItem systemItem() const noexcept { return systemItem_; }
    bool isSpace() const noexcept {
        return system_ && (systemItem_ == BarButtonSystemItem::FixedSpace || systemItem_ == BarButtonSystemItem::FlexibleSpace);
    }

    // Held weakly.
    rt::Id target() const { return target_.lock(); }
    void setTarget(const rt::Id& target);
    rt::Sel action() const noexcept { return action_; }
    void setAction(rt::Sel action);

    // A tap on the item: sends the action (with the item as sender, and the event when the
    // action takes two arguments) to the target, or up the responder chain without one. False
    // when nothing was sent: a disabled item, a space, or no action.
    bool performAction();
    bool performAction(const rt::Ref<Event>& event);

protected:
    BarButtonItem();

private:
    rt::Ref<ns::String> title_;
    rt::Ref<Image> image_;
    rt::Ref<View> customView_;
    rt::Weak<rt::Object> target_;
    rt::Sel action_;
    BarButtonItemStyle style_ = BarButtonItemStyle::Plain;
    BarButtonSystemItem systemItem_ = BarButtonSystemItem::Done;
    double width_ = 0;
    long tag_ = 0;
    bool enabled_ = true;
    bool system_ = false;
};

} // namespace ui
