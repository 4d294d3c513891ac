#pragma once
// Additions to the platform's arrays the forms use.

#include "platform/foundation/array.h"
#include "platform/foundation/string.h"

namespace fm {

// The array's strings joined with nothing between them ("" for an empty or nil array); other
// objects are skipped.
rt::Ref<ns::String> concatStrings(const rt::Ref<ns::Array>& strings);

} // namespace fm
