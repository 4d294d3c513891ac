#pragma once
// Foundation services as signals: notifications, whole-file reads, background file-handle reads
// and URL requests.

#include "platform/runtime/object.h"
#include "streams/signal.h"

namespace ns {
class FileHandle;
class NotificationCenter;
class String;
class URL;
class URLRequest;
} // namespace ns

namespace es {

class ReplaySubject;

// The centre's notifications of that name (nil: any) from that object (nil: any; the signal does
// not keep it alive). Each subscription is its own registration, removed on disposal; the
// signal never completes. Values arrive on the posting thread.
rt::Ref<Signal> addObserverForName(const rt::Ref<ns::NotificationCenter>& center, const rt::Ref<ns::String>& name,
                                   const rt::Id& object);

// Reads the file at once on the scheduler; the subject replays the data and completion, or the
// read's error, to every subscriber.
rt::Ref<ReplaySubject> readContentsOfURL(const rt::Ref<ns::URL>& url, unsigned long options,
                                         const rt::Ref<Scheduler>& scheduler);
// The same for text; the detected encoding is written through `usedEncoding` (when given) on the
// scheduler's thread, before the subject is told.
rt::Ref<ReplaySubject> readStringContentsOfURL(const rt::Ref<ns::URL>& url, unsigned long* usedEncoding,
                                               const rt::Ref<Scheduler>& scheduler);

// Chunks read from the handle in the background until the end of the file, then completed; a
// read error ends it with that error. Chunks arrive on the run loop of the calling thread.
rt::Ref<ReplaySubject> readInBackground(const rt::Ref<ns::FileHandle>& handle);

// One (response, data) tuple, then completed; or the connection's error. Each subscription sends
// the request anew; disposing it cancels the transfer and nothing more is delivered.
rt::Ref<Signal> sendAsynchronousRequest(const rt::Ref<ns::URLRequest>& request);

} // namespace es
