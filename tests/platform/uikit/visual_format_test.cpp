// The visual format: the constraints the screens' formats make, where the layout pass puts their
// views, what each record remembers, and malformed input.

#include <string>

#include <gtest/gtest.h>

#include "platform/foundation/array.h"
#include "platform/foundation/dictionary.h"
#include "platform/runtime/class.h"
#include "platform/runtime/log.h"
#include "platform/runtime/number.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/layout_guide.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"

namespace {

using ui::LayoutAttribute;
using ui::LayoutConstraint;

class LabelLike : public ui::View {
    RT_CLASS(LabelLike)
public:
    cg::Size intrinsicContentSize() const override { return {NoIntrinsicMetric, 40}; }
};
RT_DEFINE_CLASS(LabelLike, "TestVisualFormatLabel", ui::View)

rt::Ref<ns::Dictionary> bind(std::initializer_list<std::pair<const char*, rt::Id>> names) {
    auto views = ns::MutableDictionary::make();
    for (const auto& [name, item] : names) views->setObjectForKey(item, name);
    return views;
}

rt::Ref<ui::View> constrainedView(const rt::Ref<ui::View>& parent, rt::Ref<ui::View> view = rt::make<ui::View>()) {
    view->setTranslatesAutoresizingMaskIntoConstraints(false);
    parent->addSubview(view);
    return view;
}

rt::Ref<LayoutConstraint> at(const rt::Ref<ns::Array>& list, std::size_t i) {
    return rt::cast<LayoutConstraint>(list->objectAtIndex(i));
}

rt::Ref<ns::Array> visualFormat(std::string_view text, const rt::Ref<ns::Dictionary>& views, unsigned long options = 0,
                          const rt::Ref<ns::Dictionary>& metrics = nullptr) {
    return LayoutConstraint::constraintsWithVisualFormat(text, options, metrics, views);
}

TEST(VisualFormat, TheScannerScreenLaysOutUnderTheTopGuide) {
    auto controller = rt::make<ui::ViewController>();
    auto root = rt::make<ui::View>(cg::Rect::make(0, 0, 320, 568));
    controller->setView(root);
    auto camera = constrainedView(root), cancel = constrainedView(root), flip = constrainedView(root),
         torch = constrainedView(root);
    auto main = bind({{"_cameraView", camera}, {"_cancelButton", cancel}});
    for (const char* f : {"V:|[_cameraView][_cancelButton(40)]|", "H:|[_cameraView]|", "H:|-[_cancelButton]-|"})
        root->addConstraints(visualFormat(f, main));
    auto flipViews = bind({{"_switchCameraButton", flip}, {"topLayoutGuide", controller->topLayoutGuide()}});
    root->addConstraints(visualFormat("V:[topLayoutGuide]-[_switchCameraButton(50)]", flipViews));
    root->addConstraints(visualFormat("H:[_switchCameraButton(70)]|", flipViews));
    auto torchViews = bind({{"_toggleTorchButton", torch}, {"topLayoutGuide", controller->topLayoutGuide()}});
    root->addConstraints(visualFormat("V:[topLayoutGuide]-[_toggleTorchButton(50)]", torchViews));
    root->addConstraints(visualFormat("H:|[_toggleTorchButton(70)]", torchViews));
    EXPECT_EQ(root->constraintList().size(), 16u);

    root->layoutIfNeeded();
    EXPECT_EQ(camera->frame(), cg::Rect::make(0, 0, 320, 528));
    EXPECT_EQ(cancel->frame(), cg::Rect::make(20, 528, 280, 40));
    EXPECT_EQ(flip->frame(), cg::Rect::make(250, 28, 70, 50));
    EXPECT_EQ(torch->frame(), cg::Rect::make(0, 28, 70, 50));
}

TEST(VisualFormat, TheQuestionScreenKeepsItsLabelAboveTheBottom) {
    auto root = rt::make<ui::View>(cg::Rect::make(0, 0, 375, 667));
    auto label = constrainedView(root, rt::make<LabelLike>());
    auto views = bind({{"label", label}});
    auto across = visualFormat("H:|-[label]-|", views);
    auto down = visualFormat("V:|-(>=0)-[label]-100-|", views, 512);
    ASSERT_EQ(across->count(), 2u);
    ASSERT_EQ(down->count(), 2u);
    for (const auto& [list, text, options] : {std::tuple{across, "H:|-[label]-|", 0ul},
                                              std::tuple{down, "V:|-(>=0)-[label]-100-|", 512ul}}) {
        for (std::size_t i = 0; i < list->count(); ++i) {
            EXPECT_EQ(at(list, i)->visualFormat()->utf8(), text);
            EXPECT_EQ(at(list, i)->formatOptions(), options);
            EXPECT_EQ(at(list, i)->views(), views);
            EXPECT_FALSE(at(list, i)->isActive()); // made, not added
        }
    }
    EXPECT_EQ(at(down, 0)->relation(), ui::LayoutRelation::GreaterThanOrEqual);
    EXPECT_EQ(at(down, 1)->firstItem(), rt::Id(root)); // super.bottom == label.bottom + 100
    EXPECT_EQ(at(down, 1)->constant(), 100);
    root->addConstraints(across);
    root->addConstraints(down);
    root->layoutIfNeeded();
    EXPECT_EQ(label->frame(), cg::Rect::make(20, 527, 335, 40));
}

TEST(VisualFormat, TheListAndTitleFormatsMakeTheirConstraintsInFormatOrder) {
    auto bar = rt::make<ui::View>(cg::Rect::make(0, 0, 80, 32));
    auto logo = constrainedView(bar), label = constrainedView(bar);
    auto logoFormat = visualFormat("H:|->=0-[logoView(30)]-2-[label]->=0-|", bind({{"logoView", logo}, {"label", label}}));
    ASSERT_EQ(logoFormat->count(), 4u);
    EXPECT_EQ(at(logoFormat, 0)->relation(), ui::LayoutRelation::GreaterThanOrEqual);
    EXPECT_EQ(at(logoFormat, 1)->firstAttribute(), LayoutAttribute::Width);
    EXPECT_EQ(at(logoFormat, 1)->constant(), 30);
    EXPECT_EQ(at(logoFormat, 2)->secondItem(), rt::Id(logo));
    EXPECT_EQ(at(logoFormat, 2)->constant(), 2);
    EXPECT_EQ(at(logoFormat, 3)->firstItem(), rt::Id(bar));

    auto play = constrainedView(bar), edit = constrainedView(bar);
    auto metrics = ns::Dictionary::withPairs({{ns::str("padding"), ns::Number::withInt(1)}});
    auto views = bind({{"play", play}, {"edit", edit}});
    auto across = visualFormat("H:|-padding-[play]-padding-[edit]-padding-|", views, 8 | 16, metrics);
    ASSERT_EQ(across->count(), 5u); // three spacings, then edit's top and bottom on play's
    EXPECT_EQ(at(across, 0)->constant(), 1);
    EXPECT_EQ(at(across, 0)->metrics(), metrics);
    for (std::size_t i : {3u, 4u}) {
        EXPECT_EQ(at(across, i)->firstItem(), rt::Id(edit));
        EXPECT_EQ(at(across, i)->secondItem(), rt::Id(play));
        EXPECT_EQ(at(across, i)->firstAttribute(), i == 3 ? LayoutAttribute::Top : LayoutAttribute::Bottom);
        EXPECT_EQ(at(across, i)->secondAttribute(), at(across, i)->firstAttribute());
    }
    auto down = visualFormat("V:|[play(==32)]|", views);
    ASSERT_EQ(down->count(), 3u);
    bar->addConstraints(across);
    bar->addConstraints(down);
    bar->layoutIfNeeded();
    EXPECT_EQ(play->frame().origin, cg::Point(1, 0));
    EXPECT_EQ(edit->frame().origin.x, play->frame().maxX() + 1);
    EXPECT_EQ(edit->frame().maxX(), 79);
    EXPECT_EQ(edit->frame().minY(), 0);
    EXPECT_EQ(edit->frame().size.height, 32);

    auto weighed = visualFormat("H:[play(70@750)]-(>=8,<=20@300)-[edit(>=50)]", views);
    ASSERT_EQ(weighed->count(), 4u);
    EXPECT_EQ(at(weighed, 0)->priority(), 750);
    EXPECT_EQ(at(weighed, 2)->relation(), ui::LayoutRelation::LessThanOrEqual);
    EXPECT_EQ(at(weighed, 2)->priority(), 300);
}

TEST(VisualFormat, MalformedFormatsMakeNothingAndSayWhere) {
    auto root = rt::make<ui::View>();
    auto a = constrainedView(root);
    auto views = bind({{"a", a}, {"loose", rt::make<ui::View>()}, {"text", ns::str("not a view")}});
    auto metrics = ns::Dictionary::withPairs({{ns::str("m"), ns::str("not a number")}});
    const std::pair<const char*, unsigned long> bad[] = {
        {"H:|-[missing]-|", 0}, {"H:[a", 0},        {"", 0},           {"H:", 0},       {"X:[a]", 0},
        {"H:[a]-", 0},          {"H:[a]|-", 0},     {"H:[a(]", 0},     {"H:[a(@)]", 0}, {"H:[a(30@2000)]", 0},
        {"H:[a]-m-|", 0},       {"H:[text]", 0},    {"H:|[loose]", 0}, {"H:[a]", 4},    {"V:[a]\n[a]", 0},
        {"H:[a]-1e999-[a]", 0},
    };
    for (const auto& [text, options] : bad) {
        ns::CapturedLog log;
        EXPECT_EQ(visualFormat(text, views, options, metrics)->count(), 0u) << text;
        ASSERT_EQ(log.lines().size(), 1u) << text;
        EXPECT_NE(log.lines()[0].find("Unable to parse constraint format"), std::string::npos) << testing::PrintToString(log.lines());
        EXPECT_EQ(log.lines()[0].find('\n'), std::string::npos);
    }
    ns::CapturedLog log;
    visualFormat("H:|-[missing]-|", views);
    EXPECT_TRUE(log.contains("unknown view 'missing' at position 5: \"H:|-[missing]-|\"")) << testing::PrintToString(log.lines());
    EXPECT_EQ(visualFormat("H:[a]", nullptr, 0, nullptr)->count(), 0u);
}

} // namespace
