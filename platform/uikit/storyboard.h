#pragma once
// ui::Storyboard ("UIStoryboard"): a storyboard as data: scenes, segues, the initial scene, and the
// nibs and prototype cells that go with it.
//
// The resource "<name>.storyboard.json" of a bundle holds one JSON object:
//   "initialScene": a scene identifier (optional)
//   "scenes":   [{"identifier", "class", optional "rootScene" (a navigation controller's root),
//                 "delegate": "self" (the controller is its own delegate), "nib" (the nib that
//                 builds the view; default: by class name), "outlets" and "actions" (names the
//                 scene connects), "prototypeCells": [{"reuseIdentifier", "class"}],
//                 "attributes": {key path: value} set on the controller when it is made, a value
//                 being a boolean, a number, a text or a colour {"color": [red, green, blue,
//                 alpha]} (each 0...1; "navigationBar.barTintColor")}]
//   "segues":   [{"source", "identifier", "kind", and "destination" (a scene identifier) or, for
//                 the kind "unwind", "action" (a selector such as "doCompleted:")}]
//   "nibs":     [{"name", "reuseIdentifier"}]
// A segue's source is a class name (the segue serves that class and its subclasses) or a scene
// identifier. Its kind is "push", "show", "present", "unwind" or the name of a StoryboardSegue
// subclass. Scenes, segues and the initial scene can also be registered from code, on a storyboard
// read from a file or on an empty one; registering a scene or segue again replaces it.
//
// A scene's class is looked up by name (rt::Class::named) when the scene is instantiated. A class
// made at run time without a constructor of its own (rt::Class::createSubclass) gets an object of
// its nearest compiled class, moved into the class made at run time.
//
// Failures are loud, as on the platform: a storyboard that cannot be found or read, an identifier
// that names no scene, a scene whose class is unknown or no view controller, and a segue kind that
// names no segue class are logged and raise NSInvalidArgumentException (ns::Exception) with the
// reason. Main thread only.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/runtime/object.h"
#include "platform/runtime/sel.h"

namespace ns {
class Bundle;
class String;
} // namespace ns

namespace ui {

class StoryboardSegue;
class ViewController;

class Storyboard : public rt::Object {
    RT_CLASS(Storyboard)
public:
    struct PrototypeCell {
        std::string reuseIdentifier;
        std::string className;
    };
    struct Scene {
        std::string identifier;
        std::string className;
        std::string rootScene; // a navigation controller's root scene
        std::string nib;       // the nib that builds the view
        bool delegateIsSelf = false;
        std::vector<std::string> outlets;
        std::vector<std::string> actions;
        std::vector<PrototypeCell> prototypeCells;
        // Values set by key path on the controller when it is made, in order ("attributes").
        std::vector<std::pair<std::string, rt::Id>> attributes;
    };
    struct Segue {
        std::string source; // a class name or a scene identifier
        std::string identifier;
        std::string kind;        // "push", "show", "present", "unwind" or a segue class name
        std::string destination; // a scene identifier (not for unwind)
        std::string action;      // the unwind action's selector
        bool isUnwind() const noexcept { return kind == "unwind"; }
    };
    struct NibReference {
        std::string name;
        std::string reuseIdentifier;
    };

    // Reads "<name>.storyboard.json" from the bundle (nil: the main bundle).
    static rt::Ref<Storyboard> storyboardWithName(std::string_view name);
    static rt::Ref<Storyboard> storyboardWithName(std::string_view name, const rt::Ref<ns::Bundle>& bundle);
    // Reads a storyboard from its JSON text.
    static rt::Ref<Storyboard> storyboardWithJSON(std::string_view name, std::string_view json);
    // An empty storyboard, for scenes and segues registered from code.
    static rt::Ref<Storyboard> empty(std::string_view name);

    const std::string& name() const noexcept { return name_; }

    // ---- Registering from code ----
    void registerScene(Scene scene);
    void registerScene(std::string identifier, std::string className);
    void registerSegue(Segue segue);
    void setInitialScene(std::string identifier) { initialScene_ = std::move(identifier); }

    // ---- Reading ----
    const std::vector<Scene>& scenes() const noexcept { return scenes_; }
    const Scene* scene(std::string_view identifier) const;
    const std::vector<Segue>& segues() const noexcept { return segues_; }
    const std::vector<NibReference>& nibs() const noexcept { return nibs_; }
    const std::string& initialScene() const noexcept { return initialScene_; }
    // The segue of that identifier that `source` performs: declared for the scene it was made
    // from, else for its class, else for the nearest superclass; null when there is none.
    const Segue* segueForController(const ViewController& source, std::string_view identifier) const;

    // ---- Instantiating ----
    // The initial scene's controller; nil when the storyboard names none.
    rt::Ref<ViewController> instantiateInitialViewController();
    rt::Ref<ViewController> instantiateViewControllerWithIdentifier(std::string_view identifier);
    // The segue object for a declared segue, of its kind's class.
    rt::Ref<StoryboardSegue> makeSegue(const Segue& segue, const rt::Ref<ViewController>& source,
                                       const rt::Ref<ViewController>& destination) const;
    // The class a segue kind stands for, or null.
    static const rt::Class* segueClassForKind(std::string_view kind);

    std::string description() const override;

private:
    Storyboard() = default;
    rt::Ref<ViewController> instantiateNamed(const rt::Ref<ns::String>& identifier);
    static rt::Ref<Storyboard> storyboardNamed(const rt::Ref<ns::String>& name,
                                               const rt::Ref<ns::Bundle>& bundle);

    std::string name_;
    std::string initialScene_;
    std::vector<Scene> scenes_;
    std::vector<Segue> segues_;
    std::vector<NibReference> nibs_;
};

} // namespace ui
