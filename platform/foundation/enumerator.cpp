#include "platform/foundation/enumerator.h"

#include "platform/runtime/class.h"

namespace ns {

RT_DEFINE_CLASS(Enumerator, "NSEnumerator", rt::Object)

rt::Id Enumerator::nextObject() { return nullptr; }

} // namespace ns
