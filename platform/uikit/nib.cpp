#include "platform/uikit/nib.h"

#include <map>
#include <mutex>

#include "platform/foundation/array.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/exception.h"
#include "platform/foundation/format.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/invocation.h"
#include "platform/runtime/log.h"

namespace ui {

namespace {

struct NibRegistry {
    std::mutex lock;
    std::map<std::string, Nib::Factory, std::less<>> factories;
};

NibRegistry& nibRegistry() {
    static NibRegistry* r = new NibRegistry; // registrations may run during static start-up and teardown
    return *r;
}

Nib::Factory factoryNamed(std::string_view name) {
    NibRegistry& r = nibRegistry();
    std::lock_guard g(r.lock);
    auto it = r.factories.find(name);
    return it == r.factories.end() ? Nib::Factory() : it->second;
}

void awake(const rt::Id& object) {
    static const rt::Sel awakeFromNib("awakeFromNib");
    if (object && object->respondsToSelector(awakeFromNib)) rt::send(object, awakeFromNib);
}

} // namespace

void Nib::registerNib(std::string name, Factory factory) {
    NibRegistry& r = nibRegistry();
    std::lock_guard g(r.lock);
    if (factory)
        r.factories.insert_or_assign(std::move(name), std::move(factory));
    else if (auto it = r.factories.find(name); it != r.factories.end())
        r.factories.erase(it);
}

bool Nib::isRegistered(std::string_view name) {
    NibRegistry& r = nibRegistry();
    std::lock_guard g(r.lock);
    return r.factories.find(name) != r.factories.end();
}

rt::Ref<Nib> Nib::nibWithNibName(std::string_view name) {
    auto nib = rt::make<Nib>();
    nib->name_ = std::string(name);
    return nib;
}

rt::Ref<Nib> Nib::nibNamed(const rt::Ref<ns::String>& name, const rt::Ref<ns::Bundle>&) {
    return nibWithNibName(name ? std::string_view(name->utf8()) : std::string_view());
}

rt::Ref<ns::Array> Nib::instantiateWithOwner(const rt::Id& owner) {
    Factory factory = factoryNamed(name_);
    if (!factory) {
        std::string reason = "Could not load NIB in bundle: '" + ns::Bundle::mainBundle()->description() +
                             "' with name '" + name_ + "'";
        ns::logLine(reason);
        ns::raise("NSInternalInconsistencyException", reason);
    }
    Loaded loaded = factory(owner);
    for (const rt::Id& object : loaded.topLevelObjects)
        awake(object);
    for (const rt::Id& object : loaded.alsoAwake)
        awake(object);
    return ns::Array::make(std::move(loaded.topLevelObjects));
}

RT_DEFINE_CLASS(Nib, "UINib", rt::Object, rt::classMethod("nibWithNibName:bundle:", &Nib::nibNamed),
                rt::method("instantiateWithOwner:options:", &Nib::instantiateWithOwnerOptions))

} // namespace ui
