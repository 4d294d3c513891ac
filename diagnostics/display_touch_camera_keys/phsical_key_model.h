#pragma once
// ft::PhsicalKeyModel ("PhsicalKeyModel"): one row of the physical key test: the key's displayed
// title (`name`, copied) and whether it has responded (`success`, observable). Main thread only.

#include "platform/foundation/dictionary.h"
#include "platform/foundation/string.h"

namespace ft {

class PhsicalKeyModel final : public rt::Object {
    RT_CLASS(PhsicalKeyModel)
public:
    // A new row with the dictionary's values set by key ("name", "success").
    static rt::Ref<PhsicalKeyModel> customClassWithProperties(const rt::Ref<ns::Dictionary>& properties);

    const rt::Ref<ns::String>& name() const noexcept { return name_; }
    void setName(const rt::Ref<ns::String>& name);
    bool success() const noexcept { return success_; }
    void setSuccess(bool success);

private:
    PhsicalKeyModel() = default;
    rt::Ref<ns::String> name_;
    bool success_ = false;
};

} // namespace ft
