#include "session/result_view_controller.h"

#include "platform/runtime/class.h"
#include "platform/runtime/observation.h"
#include "session/core/test_base_model.h"

namespace ft {

RT_DEFINE_CLASS(ResultViewController, "ResultViewController", ui::ViewController,
                rt::prop("info", &ResultViewController::info, &ResultViewController::setInfo),
                rt::prop("isSingle", &ResultViewController::isSingle, &ResultViewController::setIsSingle),
                rt::prop("list", &ResultViewController::list, &ResultViewController::setList),
                rt::prop("result", &ResultViewController::result, &ResultViewController::setResult),
                rt::prop("retryIndex", &ResultViewController::retryIndex, &ResultViewController::setRetryIndex))

void ResultViewController::setInfo(rt::Ref<TestBaseModel> item) {
    rt::KeyChange change(this, "info");
    info_ = std::move(item);
}

void ResultViewController::setIsSingle(rt::Ref<ns::Number> single) {
    rt::KeyChange change(this, "isSingle");
    isSingle_ = std::move(single);
}

void ResultViewController::setList(rt::Ref<ns::Array> items) {
    rt::KeyChange change(this, "list");
    list_ = std::move(items);
}

void ResultViewController::setResult(std::int64_t result) {
    rt::KeyChange change(this, "result");
    result_ = result;
}

void ResultViewController::setRetryIndex(std::int64_t index) {
    rt::KeyChange change(this, "retryIndex");
    retryIndex_ = index;
}

} // namespace ft
