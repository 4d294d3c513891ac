#pragma once
// ui::Button ("UIButton"): a control with a title, a title colour and images per control state. A
// state without its own title shows the normal one. The title label is a subview that shows the
// current title. A system button's title colours start as the system blue, and a dimmed grey
// while disabled; highlighted (under the finger), a system button without a highlighted title
// colour of its own shows its title at a fifth of its colour's alpha.
//
// A tap sends touch-up-inside (64) to the targets with the button as sender and the event, whose
// one touch lies where the finger lifted.
//
// Content: the current background image fills the bounds; the current image and the title sit
// side by side, image first, centred together within the bounds less the content insets (an image
// larger than that room is scaled down to fit, keeping its ratio); the title's own insets then move
// it within its share, without changing the intrinsic size. The intrinsic size holds both.

#include <map>
#include <utility>

#include "platform/foundation/string.h"
#include "platform/uikit/control.h"

namespace ui {

class Color;
class Image;
class Label;

enum class ButtonType : long { Custom = 0, System = 1, DetailDisclosure = 2, InfoLight = 3, InfoDark = 4, ContactAdd = 5 };

using ControlState = unsigned long;
namespace ControlStates {
inline constexpr ControlState Normal = 0;
inline constexpr ControlState Highlighted = 1 << 0;
inline constexpr ControlState Disabled = 1 << 1;
inline constexpr ControlState Selected = 1 << 2;
} // namespace ControlStates

class Button : public Control {
    RT_CLASS(Button)
public:
    // A highlighted system button's title alpha, as a part of its colour's.
    static constexpr double kHighlightedTitleAlpha = 0.2;
    static rt::Ref<Button> buttonWithType(ButtonType type);

    ButtonType buttonType() const noexcept { return type_; }
    // The state the button is in: highlighted, disabled and selected as flags.
    ControlState state() const;

    void setTitleForState(rt::Ref<ns::String> title, ControlState state);
    // That state's own title, else the normal one; nil when neither is set.
    rt::Ref<ns::String> titleForState(ControlState state) const;
    rt::Ref<ns::String> currentTitle() const { return titleForState(state()); }
    void setTitleColorForState(rt::Ref<Color> color, ControlState state);
    rt::Ref<Color> titleColorForState(ControlState state) const;
    void setImageForState(rt::Ref<Image> image, ControlState state);
    rt::Ref<Image> imageForState(ControlState state) const;
    rt::Ref<Image> currentImage() const;
    void setBackgroundImageForState(rt::Ref<Image> image, ControlState state);
    rt::Ref<Image> backgroundImageForState(ControlState state) const;

    // Made with the button; shows the current title, centred (the system font of 15) within the
    // bounds less the content insets.
    const rt::Ref<Label>& titleLabel() const noexcept { return titleLabel_; }
    const EdgeInsets& contentEdgeInsets() const noexcept { return contentInsets_; }
    void setContentEdgeInsets(const EdgeInsets& insets);
    // Taken from the title's share of the content: positive values move the title away from that
    // side.
    const EdgeInsets& titleEdgeInsets() const noexcept { return titleInsets_; }
    void setTitleEdgeInsets(const EdgeInsets& insets);
    // The image's and the title's sizes side by side, plus the content insets.
    cg::Size intrinsicContentSize() const override;
    void drawRect(const cg::Rect& rect) override;
    cg::Size sizeThatFits(cg::Size size) const override { (void)size; return intrinsicContentSize(); }

    std::string description() const override;

protected:
    Button();
    explicit Button(const cg::Rect& frame, ButtonType type = ButtonType::Custom);
    void layoutSubviews() override;
    void stateDidChange() override { showCurrentTitle(); }

private:
    template <class T>
    using PerState = std::map<ControlState, rt::Ref<T>>;
    template <class T>
    static rt::Ref<T> lookup(const PerState<T>& table, ControlState state);
    void showCurrentTitle();
    // The content rectangle split between the image (first) and the title.
    std::pair<cg::Rect, cg::Rect> contentRects() const;
    // An image or the title changed: the content is laid out and drawn again.
    void contentChanged();

    ButtonType type_ = ButtonType::Custom;
    PerState<ns::String> titles_;
    PerState<Color> titleColors_;
    PerState<Image> images_;
    PerState<Image> backgroundImages_;
    rt::Ref<Label> titleLabel_;
    EdgeInsets contentInsets_;
    EdgeInsets titleInsets_;
};

} // namespace ui
