#include "platform/foundation/null.h"

#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(Null, "NSNull", rt::Object)

const rt::Ref<Null>& Null::null() {
    static const rt::Ref<Null> instance = [] {
        auto n = rt::make<Null>();
        rt::makeImmortal(*n);
        return n;
    }();
    return instance;
}

} // namespace ns
