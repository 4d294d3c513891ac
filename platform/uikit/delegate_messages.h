#pragma once
// Private to the UIKit stand-in: sending a delegate callback by name (rt::tell, rt::ask).

#include "platform/runtime/delegate_call.h"

namespace ui::detail {

using rt::answers;
using rt::ask;
using rt::tell;

} // namespace ui::detail
