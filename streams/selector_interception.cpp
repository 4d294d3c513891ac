#include "streams/selector_interception.h"

#include <atomic>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/foundation/bundle.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/error.h"
#include "platform/foundation/format.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/log.h"
#include "streams/dealloc.h"
#include "streams/description.h"
#include "streams/invocation_arguments.h"
#include "streams/subject.h"
#include "streams/tuple.h"

namespace es {

namespace {

constexpr std::string_view kSubclassSuffix = "_ESSelectorSignal";
constexpr std::string_view kAliasPrefix = "es_alias_";

// The selectors ever intercepted, with their aliases. Calls of every other selector (the most
// common case on an intercepted object) stop at one lookup here.
struct Aliases {
    std::shared_mutex lock;
    std::unordered_map<rt::Sel, rt::Sel> bySelector;
};

Aliases& aliases() {
    static auto* table = new Aliases; // used by calls during static teardown
    return *table;
}

// The alias of an intercepted selector; the empty selector for one never intercepted.
rt::Sel knownAlias(rt::Sel selector) {
    Aliases& table = aliases();
    std::shared_lock g(table.lock);
    auto it = table.bySelector.find(selector);
    return it == table.bySelector.end() ? rt::Sel() : it->second;
}

rt::Sel aliasOf(rt::Sel selector) {
    if (rt::Sel alias = knownAlias(selector)) return alias;
    rt::Sel alias(std::string(kAliasPrefix) + std::string(selector.name()));
    Aliases& table = aliases();
    std::unique_lock g(table.lock);
    table.bySelector.emplace(selector, alias);
    return alias;
}

// An object's subject for a selector is stored under the alias selector (its interned name is
// unique and lives for the process).
rt::AssociationKey subjectKey(rt::Sel alias) { return alias.c_str(); }

rt::Ref<Subject> subjectFor(const rt::Object& object, rt::Sel alias) {
    // Only this file stores under these keys, and only subjects.
    return rt::downcast<Subject>(rt::getAssociatedObject(&object, subjectKey(alias)));
}

rt::Ref<Subject> subjectForCall(const rt::Object& object, rt::Sel selector) {
    rt::Sel alias = knownAlias(selector);
    return alias ? subjectFor(object, alias) : nullptr;
}

// ---- The subclass's hooks -------------------------------------------------------------------

// A message that found the forwarding entry (or no method): the previous implementation runs,
// under the alias, with the same arguments and leaving its result in the invocation; then the
// object's subject gets the arguments. Without a subject, an object the selector was not
// intercepted for behaves as it did before: the alias alone, or forwarding as its class forwards.
void forwardIntercepted(const rt::MessageHooks* inherited, rt::Object& receiver, rt::Invocation& call) {
    rt::Sel alias = knownAlias(call.selector());
    const rt::Method* previous = alias ? receiver.actualClass().instanceMethod(alias) : nullptr;
    if (previous) call.invokeUsing(previous->imp);
    if (rt::Ref<Subject> subject = alias ? subjectFor(receiver, alias) : nullptr) {
        subject->sendNext(argumentsTuple(call));
        return;
    }
    if (previous) return;
    if (inherited && inherited->forwardInvocation) inherited->forwardInvocation(receiver, call);
    else receiver.forwardInvocation(call);
}

// The answer without interception's part: the inherited hook's, else the class's methods'.
bool plainAnswer(const rt::MessageHooks* inherited, const rt::Class& cls, const rt::Object& receiver,
                 rt::Sel selector) {
    if (inherited && inherited->respondsToSelector) return inherited->respondsToSelector(receiver, selector);
    return cls.instancesRespondToSelector(selector);
}

// A selector this subclass forwards is answered for the objects that have a subject for it; the
// others answer as their class did before, so that a selector intercepted on one object is not
// advertised by every object of the class.
bool respondsIntercepted(const rt::Class& subclass, const rt::MessageHooks* inherited, const rt::Object& receiver,
                         rt::Sel selector) {
    const rt::Method* own = subclass.immediateInstanceMethod(selector);
    if (own && own->imp.isForwarding())
        return subjectForCall(receiver, selector) || plainAnswer(inherited, *subclass.superclass(), receiver, selector);
    return plainAnswer(inherited, subclass, receiver, selector);
}

rt::MessageHooks hooksFor(const rt::Class& subclass) {
    const rt::MessageHooks* inherited = subclass.superclass()->messageHooks(); // kept for the process
    return {
        .forwardInvocation = [inherited](rt::Object& receiver, rt::Invocation& call) {
            forwardIntercepted(inherited, receiver, call);
        },
        .respondsToSelector = [&subclass, inherited](const rt::Object& receiver, rt::Sel selector) {
            return respondsIntercepted(subclass, inherited, receiver, selector);
        },
    };
}

// ---- Subclasses ---------------------------------------------------------------------------------

// The subclasses made here, and the lock under which they are made and their methods changed
// (taken inside an object's lock; only the runtime's own locks are taken under it).
struct Subclasses {
    std::mutex lock;
    std::unordered_map<const rt::Class*, rt::Class*> made;
};

Subclasses& subclasses() {
    static auto* table = new Subclasses;
    return *table;
}

// The object's subclass, made (once per class) and moved into on its first interception. Null
// when the name is taken by a class not made here. Called with the modification lock held.
rt::Class* subclassFor(Subclasses& table, rt::Object& object) {
    const rt::Class& actual = object.actualClass();
    if (auto it = table.made.find(&actual); it != table.made.end()) return it->second;
    std::string name = std::string(actual.name()) + std::string(kSubclassSuffix);
    rt::Class* subclass = nullptr;
    if (const rt::Class* existing = rt::Class::named(name)) {
        auto it = table.made.find(existing);
        if (it == table.made.end()) {
            ns::logLine("es::signalForSelector: a class named " + name + " exists already; " +
                        std::string(object.getClass().name()) + " cannot be intercepted.");
            return nullptr;
        }
        subclass = it->second;
    } else {
        subclass = rt::Class::createSubclass(name, actual, object.getClass());
        if (!subclass) return nullptr;
        subclass->setMessageHooks(hooksFor(*subclass));
        table.made.emplace(subclass, subclass);
    }
    object.setActualClass(*subclass);
    return subclass;
}

std::string defaultTypes(rt::Sel selector) { return "v@:" + std::string(selector.argumentCount(), '@'); }

std::string typesFor(rt::Sel selector, const rt::Protocol* protocol) {
    if (!protocol) return defaultTypes(selector);
    const rt::Protocol::MethodDescription* method = protocol->method(selector, false);
    if (!method) method = protocol->method(selector, true);
    if (method) return method->types;
    ns::logLine("es::signalForSelector: the protocol " + protocol->name() + " declares no method " +
                std::string(selector.name()) + "; it is taken to return nothing and take objects.");
    return defaultTypes(selector);
}

// Routes the selector through the forwarding entry in the subclass, keeping an implemented
// method's body under the alias. False when the class refused the method.
bool routeThroughForwarding(rt::Class& subclass, rt::Sel selector, rt::Sel alias, const rt::Protocol* protocol) {
    const rt::Method* method = subclass.instanceMethod(selector);
    if (!method) return subclass.addInstanceMethod(selector, typesFor(selector, protocol), rt::Imp::forwarding());
    if (method->imp.isForwarding()) return true;
    // The alias first: from the moment the selector forwards, its body must be found there.
    if (!subclass.immediateInstanceMethod(alias) && !subclass.addInstanceMethod(alias, method->types, method->imp))
        return false;
    subclass.replaceInstanceMethod(selector, method->types, rt::Imp::forwarding());
    const rt::Method* now = subclass.immediateInstanceMethod(selector);
    return now && now->imp.isForwarding();
}

rt::Ref<ns::Error> raceError(rt::Sel selector, std::string_view className) {
    rt::Ref<ns::Bundle> bundle = ns::Bundle::mainBundle();
    auto description = bundle->localizedStringForKey("A race condition occurred implementing %@ on class %@", "");
    auto suggestion =
        bundle->localizedStringForKey("Invoke -es_signalForSelector: again to override the implementation.", "");
    auto userInfo = ns::Dictionary::withPairs({
        {ns::str(ns::LocalizedDescriptionKey), ns::stringWithFormat(description->utf8(), selector.name(), className)},
        {ns::str(ns::LocalizedRecoverySuggestionErrorKey), suggestion},
    });
    return ns::Error::make(kSelectorSignalErrorDomain, kSelectorSignalErrorMethodSwizzlingRace, userInfo);
}

// ---- Direct calls ---------------------------------------------------------------------------------

// Receives the calls an intercepted object announces: its interceptable methods called directly,
// and messages by name that ran a method (rather than forwarding).
// An announcer installed before this one still hears every call.
std::atomic<rt::CallAnnouncer> chainedAnnouncer{nullptr};

void announceToSubject(rt::Object& receiver, const rt::Invocation& call) {
    if (rt::Ref<Subject> subject = subjectForCall(receiver, call.selector())) subject->sendNext(argumentsTuple(call));
    if (rt::CallAnnouncer chained = chainedAnnouncer.load(std::memory_order_acquire)) chained(receiver, call);
}

void installAnnouncer() {
    static std::once_flag once;
    std::call_once(once, [] {
        chainedAnnouncer.store(rt::setCallAnnouncer(&announceToSubject), std::memory_order_release);
    });
}

rt::Ref<Signal> intercept(rt::Object* object, rt::Sel selector, const rt::Protocol* protocol) {
    if (!object || !selector) return nullptr;
    installAnnouncer();
    rt::Sel alias = aliasOf(selector);
    rt::SyncGuard guard(object);
    if (rt::Ref<Subject> subject = subjectFor(*object, alias)) return subject;

    Subclasses& table = subclasses();
    rt::Class* subclass = nullptr;
    {
        std::lock_guard modifying(table.lock);
        subclass = subclassFor(table, *object);
    }
    if (!subclass) return Signal::error(raceError(selector, object->actualClass().name()));

    auto subject = Subject::subject();
    subject->setNameWithFormat("%@ -es_signalForSelector: %s", description(object), selector.name());
    rt::setAssociatedObject(object, subjectKey(alias), subject, rt::AssociationPolicy::Retain);
    addDeallocDisposable(object, Disposable::withBlock([subject] { subject->sendCompleted(); }));
    object->setIntercepted(true);

    bool routed = false;
    {
        std::lock_guard modifying(table.lock);
        routed = routeThroughForwarding(*subclass, selector, alias, protocol);
    }
    // On a refusal the subject stays: asking again returns it.
    if (!routed) return Signal::error(raceError(selector, subclass->name()));
    return subject;
}

} // namespace

rt::Ref<Signal> signalForSelector(rt::Object* object, rt::Sel selector) { return intercept(object, selector, nullptr); }

rt::Ref<Signal> signalForSelectorFromProtocol(rt::Object* object, rt::Sel selector, const rt::Protocol& protocol) {
    return intercept(object, selector, &protocol);
}

} // namespace es
