#include "platform/foundation/null.h"

#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(Null, "NSNull", rt::Object)

const rt::Ref<Null>& Null::null() {
    static const rt::Ref<Null> instance = rt::immortal(rt::make<Null>());
    return instance;
}

} // namespace ns
