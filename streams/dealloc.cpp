#include "streams/dealloc.h"

#include "streams/description.h"
#include "streams/signal.h"
#include "streams/subject.h"

namespace es {

namespace {
// Association keys: the will-dealloc subject, and the one-shot disposable that completes it.
const char kWillDeallocSubjectKey = 0;
const char kWillDeallocCompletionKey = 0;
} // namespace

rt::Ref<CompoundDisposable> deallocDisposable(const rt::Object* obj) {
    // The slot is only ever filled from here, so it always holds a compound.
    rt::Ref<rt::Disposable> d =
        rt::deallocDisposable(obj, []() -> rt::Ref<rt::Disposable> { return CompoundDisposable::make(); });
    return rt::cast<CompoundDisposable>(d);
}

void addDeallocDisposable(const rt::Object* obj, const rt::Ref<rt::Disposable>& disposable) {
    // An immortal object never deallocates: nothing need wait for it.
    if (obj && rt::isImmortal(*obj)) return;
    if (auto d = deallocDisposable(obj)) d->addDisposable(disposable);
}

void removeDeallocDisposable(const rt::Object* obj, const rt::Disposable* disposable) {
    if (!obj) return;
    if (auto d = rt::cast<CompoundDisposable>(rt::existingDeallocDisposable(obj))) d->removeDisposable(disposable);
}

rt::Ref<Signal> willDeallocSignal(const rt::Object* obj) {
    if (!obj) return nullptr;
    if (rt::isImmortal(*obj)) return Signal::never();
    rt::Ref<rt::Disposable> pendingCompletion;
    rt::Ref<ReplaySubject> subject;
    {
        rt::SyncGuard guard(obj);
        subject = rt::cast<ReplaySubject>(rt::getAssociatedObject(obj, &kWillDeallocSubjectKey));
        if (!subject) {
            subject = ReplaySubject::replaySubjectWithCapacity(0);
            subject->setNameWithFormat("%@ -willDeallocSignal", description(obj));
            auto completion = Disposable::withBlock([subject] { subject->sendCompleted(); });
            rt::setAssociatedObject(obj, &kWillDeallocSubjectKey, subject, rt::AssociationPolicy::Retain);
            rt::setAssociatedObject(obj, &kWillDeallocCompletionKey, completion,
                                    rt::AssociationPolicy::Retain);
            // Disposed at once when deallocation has begun (nobody has subscribed yet).
            addDeallocDisposable(obj, completion);
        } else if (obj->isDeallocating()) {
            // Deallocation has begun but the dealloc disposable has not reached the completion
            // yet (we are inside an earlier hook): complete now, so a late subscriber still
            // completes at once.
            pendingCompletion =
                rt::cast<rt::Disposable>(rt::getAssociatedObject(obj, &kWillDeallocCompletionKey));
        }
    }
    // Outside the object lock: the subject's subscribers run.
    if (pendingCompletion) pendingCompletion->dispose();
    return subject;
}

rt::Ref<Signal> didDeallocSignal(const rt::Object* obj) {
    if (!obj) return nullptr;
    auto subject = Subject::subject();
    subject->setNameWithFormat("%@ -didDeallocSignal", description(obj));
    // Associated objects are released after the destructors, and a scoped disposable disposes
    // itself on release. Keyed by its own address, so every request has its own.
    auto completion = Disposable::withBlock([subject] { subject->sendCompleted(); })->asScopedDisposable();
    rt::setAssociatedObject(obj, completion.get(), completion, rt::AssociationPolicy::Retain);
    return subject;
}

} // namespace es
