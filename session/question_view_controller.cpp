#include "session/question_view_controller.h"

#include "platform/foundation/dictionary.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"
#include "platform/runtime/observation.h"
#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/label.h"
#include "platform/uikit/layout_constraint.h"
#include "platform/uikit/layout_guide.h"
#include "session/core/test_base_model.h"
#include "streams/disposable.h"
#include "streams/signal.h"

namespace ft {

namespace {
// Aligns the views of a visual format on their horizontal centres.
constexpr unsigned long kAlignAllCenterX = 512;
} // namespace

RT_DEFINE_CLASS(QuestionViewController, "QuestionViewController", BaseModelViewController,
                rt::prop("questionLabel", &QuestionViewController::questionLabel, &QuestionViewController::setQuestionLabel),
                rt::prop("question", &QuestionViewController::question, &QuestionViewController::setQuestion,
                         {.memory = rt::Memory::Copy}))

QuestionViewController::QuestionViewController() = default;
QuestionViewController::~QuestionViewController() = default;

rt::Ref<ui::Label> QuestionViewController::questionLabel() const {
    if (!questionLabel_) {
        auto label = rt::make<ui::Label>(cg::Rect::zero());
        label->setTranslatesAutoresizingMaskIntoConstraints(false);
        label->setFont(ui::Font::systemFontOfSize(16));
        label->setTextColor(ui::Color::darkTextColor());
        label->setTextAlignment(ui::TextAlignment::Center);
        label->setNumberOfLines(0);
        questionLabel_ = label;
    }
    return questionLabel_;
}

void QuestionViewController::setQuestionLabel(rt::Ref<ui::Label> label) {
    rt::KeyChange change(this, "questionLabel");
    questionLabel_ = std::move(label);
}

void QuestionViewController::setQuestion(const rt::Ref<ns::String>& question) {
    rt::KeyChange change(this, "question");
    question_ = question ? rt::cast<ns::String>(question->copy()) : nullptr;
}

void QuestionViewController::viewDidLoadBody() {
    BaseModelViewController::viewDidLoadBody();
    setEdgesForExtendedLayout(RectEdgeNone);
    auto label = questionLabel();
    auto screen = view();
    screen->addSubview(label);
    auto views = ns::MutableDictionary::make();
    views->setObjectForKey(label, "label");
    views->setObjectForKey(bottomLayoutGuide(), "bottomLayoutGuide");
    screen->addConstraints(ui::LayoutConstraint::constraintsWithVisualFormat("H:|-[label]-|", 0, nullptr, views));
    // Its foot clear of the answers, which stand above the home indicator's band.
    screen->addConstraints(ui::LayoutConstraint::constraintsWithVisualFormat(
        "V:|-(>=0)-[label]-100-[bottomLayoutGuide]", kAlignAllCenterX, nullptr, views));
    label->setText(info() ? info()->question() : nullptr);
    answer_ = choose()->subscribeNext([weak = rt::Weak<QuestionViewController>(rt::retained(this))](bool yes) {
        auto self = weak.lock();
        if (!self) return;
        if (auto item = self->info()) item->setSuccess(yes ? TestBaseModel::kPassed : TestBaseModel::kFailed);
        self->gotoResultView();
    });
}

} // namespace ft
