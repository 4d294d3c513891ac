#pragma once
// ft::QuestionViewController ("QuestionViewController"): a yes/no question test. It shows its
// item's `question` in a label placed by two visual-format sets, and the tester's answer becomes
// the item's result (YES 1, NO 2) before the screen leaves as every test screen does.
// Main thread only.

#include "session/base_model_view_controller.h"

namespace ft {

class QuestionViewController : public BaseModelViewController {
    RT_CLASS(QuestionViewController)
public:
    // Made on first access: constraint-placed, the system font of 16, dark text, centred, no line limit.
    rt::Ref<ui::Label> questionLabel() const;
    void setQuestionLabel(rt::Ref<ui::Label> label);
    // Declared for a question text; the screen shows its item's question.
    const rt::Ref<ns::String>& question() const noexcept { return question_; }
    void setQuestion(const rt::Ref<ns::String>& question);

protected:
    QuestionViewController();
    ~QuestionViewController() override;
    void viewDidLoadBody() override;

private:
    mutable rt::Ref<ui::Label> questionLabel_;
    rt::Ref<ns::String> question_;
    rt::Ref<es::Disposable> answer_;
};

} // namespace ft
