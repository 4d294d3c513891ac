#pragma once
// ui::Nib ("UINib"): a nib is a factory registered by name. Instantiating one runs the factory,
// which builds the nib's top-level objects (a view, a cell) with their subviews, connects the
// outlets (of the objects it builds, and of the owner it is given), and returns the top-level
// objects; then every object the factory reports as loaded (the top-level ones by default) that
// answers awakeFromNib gets it, by name, in order.
//
// Registration is process-wide and may come from any thread (start-up code registers its
// screens' and cells' nibs); instantiating is main-thread work. nibWithNibName always answers a
// nib, as on the platform; instantiating a name without a factory is logged and raises
// NSInternalInconsistencyException (ns::Exception).

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/object.h"

namespace ns {
class Array;
class Bundle;
class Dictionary;
class String;
} // namespace ns

namespace ui {

class Nib : public rt::Object {
    RT_CLASS(Nib)
public:
    struct Loaded {
        std::vector<rt::Id> topLevelObjects;
        // Objects to wake besides the top-level ones (subviews built by the factory), in order.
        std::vector<rt::Id> alsoAwake;
    };
    using Factory = std::function<Loaded(const rt::Id& owner)>;

    // Registers (or replaces) the factory of a nib; an empty factory removes it.
    static void registerNib(std::string name, Factory factory);
    static bool isRegistered(std::string_view name);

    // Nibs are found by name alone: the bundle of the platform's call plays no part.
    static rt::Ref<Nib> nibWithNibName(std::string_view name);
    const std::string& name() const noexcept { return name_; }
    // Runs the factory with `owner` and wakes what it built; the top-level objects.
    rt::Ref<ns::Array> instantiateWithOwner(const rt::Id& owner);

private:
    Nib() = default;
    static rt::Ref<Nib> nibNamed(const rt::Ref<ns::String>& name, const rt::Ref<ns::Bundle>& bundle);
    rt::Ref<ns::Array> instantiateWithOwnerOptions(const rt::Id& owner,
                                                   const rt::Ref<ns::Dictionary>& options) {
        (void)options;
        return instantiateWithOwner(owner);
    }

    std::string name_;
};

} // namespace ui
