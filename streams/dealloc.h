#pragma once
// Hooks on an object's deallocation, built on the object runtime's dealloc slot.

#include "platform/runtime/object.h"
#include "streams/disposable.h"

namespace es {

class Signal;

// The object's dealloc disposable, made on first request: disposed when the object begins to
// deallocate, while it is still whole (weak references already read null). Asked for during
// deallocation, it comes back disposed. Nil for a nil object.
rt::Ref<CompoundDisposable> deallocDisposable(const rt::Object* obj);
// Disposed with the object's dealloc disposable (at once when deallocation has begun). An
// immortal object never deallocates: the disposable is not kept.
void addDeallocDisposable(const rt::Object* obj, const rt::Ref<rt::Disposable>& disposable);
// Takes the disposable out of the object's dealloc disposable again, without disposing it (nothing
// when the object is nil or has none).
void removeDeallocDisposable(const rt::Object* obj, const rt::Disposable* disposable);

// Completes, with no values, when the object begins to deallocate, while it is still whole. The
// same signal on every request; a subscriber after deallocation began completes at once. For an
// immortal object, the never signal (nothing is kept on the object).
rt::Ref<Signal> willDeallocSignal(const rt::Object* obj);
// Completes after the object has finished deallocating (its destructors have run). A new signal
// on every request; it does not remember the completion.
rt::Ref<Signal> didDeallocSignal(const rt::Object* obj);

} // namespace es
