#pragma once
// ft::ResultViewController ("ResultViewController"): the results screen at the end of a run. The
// runner and the test screens hand it the run's items (`list`), the item just tested (`info`),
// whether it ran alone (`isSingle`); it sets `retryIndex` before going back to the runner to
// re-run one item. Main thread only.

#include <cstdint>

#include "platform/foundation/array.h"
#include "platform/runtime/number.h"
#include "platform/uikit/view_controller.h"

namespace ft {

class TestBaseModel;

class ResultViewController : public ui::ViewController {
    RT_CLASS(ResultViewController)
public:
    const rt::Ref<TestBaseModel>& info() const noexcept { return info_; }
    void setInfo(rt::Ref<TestBaseModel> item);
    const rt::Ref<ns::Number>& isSingle() const noexcept { return isSingle_; }
    void setIsSingle(rt::Ref<ns::Number> single);
    const rt::Ref<ns::Array>& list() const noexcept { return list_; }
    void setList(rt::Ref<ns::Array> items);
    std::int64_t result() const noexcept { return result_; }
    void setResult(std::int64_t result);
    std::int64_t retryIndex() const noexcept { return retryIndex_; }
    void setRetryIndex(std::int64_t index);

protected:
    ResultViewController() = default;

private:
    rt::Ref<TestBaseModel> info_;
    rt::Ref<ns::Number> isSingle_;
    rt::Ref<ns::Array> list_;
    std::int64_t result_ = 0;
    std::int64_t retryIndex_ = 0;
};

} // namespace ft
