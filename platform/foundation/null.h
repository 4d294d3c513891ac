#pragma once
// ns::Null: the object that stands for nil inside collections.

#include <string>

#include "platform/runtime/object.h"

namespace ns {

class Null final : public rt::Object {
    RT_CLASS(Null)
public:
    // The one instance, immortal.
    static const rt::Ref<Null>& null();

    std::string description() const override { return "<null>"; }

private:
    Null() = default;
};

// True for nil and for ns::Null.
inline bool isNullOrNil(const rt::Object* obj) {
    return !obj || obj == Null::null().get();
}
inline bool isNullOrNil(const rt::Id& obj) {
    return isNullOrNil(obj.get());
}

} // namespace ns
