#pragma once
// What the operators of es::Signal share: private to streams/.

#include "platform/runtime/object.h"
#include "streams/signal.h"

namespace es {

// A signal argument as the operators take it: nil counts as the empty signal (as a nil inner
// signal does for flattenMap and switchToLatest); a stream of another family becomes a signal
// that fails with Signal::kErrorNotASignal.
rt::Ref<Signal> signalArgument(const rt::Ref<Stream>& stream);

} // namespace es
