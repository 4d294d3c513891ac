#include "session/logo_title_view.h"

#include "platform/foundation/dictionary.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/image.h"
#include "platform/uikit/image_view.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/navigation_item.h"
#include "platform/uikit/view_controller.h"

namespace ft {

void setHeaderImage(ui::ViewController& screen) {
    auto view = rt::make<ui::View>(cg::Rect{{0, 0}, {160, 40}});
    auto logo = rt::make<ui::ImageView>();
    logo->setImage(ui::Image::imageNamed("icon_logo"));
    logo->setTranslatesAutoresizingMaskIntoConstraints(false);
    auto label = rt::make<ui::Label>();
    label->setText(ns::String::make("Quarnotix"));
    label->setTextColor(ui::Color::whiteColor());
    label->setFont(ui::Font::systemFontOfSize(16));
    label->setTranslatesAutoresizingMaskIntoConstraints(false);
    view->addSubview(logo);
    view->addSubview(label);

    auto views = ns::MutableDictionary::make();
    views->setObjectForKey(logo, "logoView");
    views->setObjectForKey(label, "label");
    view->addConstraints(ui::LayoutConstraint::constraintsWithVisualFormat("H:|->=0-[logoView(30)]-2-[label]->=0-|",
                                                                           0, nullptr, views));
    view->addConstraint(ui::LayoutConstraint::constraintWithItem(logo, ui::LayoutAttribute::Height,
                                                                 ui::LayoutRelation::Equal, nullptr,
                                                                 ui::LayoutAttribute::NotAnAttribute, 1, 30));
    for (const rt::Id& item : {rt::Id(logo), rt::Id(label)})
        view->addConstraint(ui::LayoutConstraint::constraintWithItem(item, ui::LayoutAttribute::CenterY,
                                                                     ui::LayoutRelation::Equal, view,
                                                                     ui::LayoutAttribute::CenterY, 1, 0));
    screen.navigationItem()->setTitleView(view);
}

rt::Ref<ns::String> appTitle() {
    return ns::String::make("Device QX");
}

} // namespace ft
