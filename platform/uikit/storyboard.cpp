#include "platform/uikit/storyboard.h"

#include <algorithm>
#include <set>

#include "platform/foundation/array.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/dictionary.h"
#include "platform/foundation/exception.h"
#include "platform/foundation/format.h"
#include "platform/foundation/json.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/runtime/kvc.h"
#include "platform/runtime/number.h"
#include "platform/runtime/log.h"
#include "platform/uikit/color.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/storyboard_segue.h"

namespace ui {

namespace {

[[noreturn]] void failLoudly(std::string reason) {
    ns::logLine(reason);
    ns::raise(ns::InvalidArgumentException, std::move(reason));
}

// Reads the storyboard's JSON, failing with "<file>: <field>: <what>".
class Reader {
public:
    explicit Reader(std::string file) : file_(std::move(file)) {}

    [[noreturn]] void fail(const std::string& field, const std::string& what) const {
        failLoudly(file_ + ": " + field + ": " + what);
    }

    std::string text(const ns::Dictionary& object, const char* key, const std::string& path,
                     bool required) const {
        rt::Id value = object.objectForKey(key);
        if (!value) {
            if (required) fail(path + "." + key, "missing");
            return {};
        }
        auto string = rt::cast<ns::String>(value);
        if (!string) fail(path + "." + key, "not a string");
        if (string->utf8().empty()) fail(path + "." + key, "empty");
        return string->utf8();
    }

    std::vector<std::string> texts(const ns::Dictionary& object, const char* key,
                                   const std::string& path) const {
        std::vector<std::string> result;
        rt::Ref<ns::Array> list = array(object, key, path);
        for (std::size_t i = 0; list && i < list->count(); ++i) {
            auto string = rt::cast<ns::String>((*list)[i]);
            if (!string) fail(path + "." + key + "[" + std::to_string(i) + "]", "not a string");
            result.push_back(string->utf8());
        }
        return result;
    }

    rt::Ref<ns::Array> array(const ns::Dictionary& object, const char* key, const std::string& path) const {
        rt::Id value = object.objectForKey(key);
        if (!value) return nullptr;
        auto list = rt::cast<ns::Array>(value);
        if (!list) fail(path + "." + key, "not an array");
        return list;
    }

    // Each element of the array `key` as an object, with its path ("scenes[2]").
    template <class F>
    void eachObject(const ns::Dictionary& object, const char* key, const std::string& path, F&& f) const {
        rt::Ref<ns::Array> list = array(object, key, path);
        for (std::size_t i = 0; list && i < list->count(); ++i) {
            const std::string at =
                (path.empty() ? std::string(key) : path + "." + key) + "[" + std::to_string(i) + "]";
            auto element = rt::cast<ns::Dictionary>((*list)[i]);
            if (!element) fail(at, "not an object");
            f(*element, at);
        }
    }

    // An attribute's value: as read, or a colour made of {"color": [red, green, blue, alpha]}.
    rt::Id attribute(const rt::Id& value, const std::string& path) const {
        if (rt::cast<ns::Number>(value) || rt::cast<ns::String>(value)) return value;
        auto object = rt::cast<ns::Dictionary>(value);
        auto components = object ? rt::cast<ns::Array>(object->objectForKey("color")) : nullptr;
        if (!components || components->count() != 4)
            fail(path, "not a boolean, number, text or {\"color\": [red, green, blue, alpha]}");
        double c[4];
        for (std::size_t i = 0; i < 4; ++i) {
            auto number = rt::cast<ns::Number>((*components)[i]);
            if (!number || !(number->doubleValue() >= 0 && number->doubleValue() <= 1))
                fail(path + ".color[" + std::to_string(i) + "]", "not a number from 0 to 1");
            c[i] = number->doubleValue();
        }
        return Color::colorWithRed(c[0], c[1], c[2], c[3]);
    }

    const std::string& file() const noexcept { return file_; }

private:
    std::string file_;
};

std::string joined(const std::string& path, const char* key) {
    return path.empty() ? std::string(key) : path + "." + key;
}

} // namespace

// ---- Reading -------------------------------------------------------------------------------------

rt::Ref<Storyboard> Storyboard::empty(std::string_view name) {
    auto storyboard = rt::make<Storyboard>();
    storyboard->name_ = std::string(name);
    return storyboard;
}

rt::Ref<Storyboard> Storyboard::storyboardWithName(std::string_view name) {
    return storyboardWithName(name, nullptr);
}

rt::Ref<Storyboard> Storyboard::storyboardWithName(std::string_view name, const rt::Ref<ns::Bundle>& bundle) {
    rt::Ref<ns::Bundle> from = bundle ? bundle : ns::Bundle::mainBundle();
    rt::Ref<ns::Data> data = from->dataForResource(name, "storyboard.json");
    if (!data)
        failLoudly("Could not find a storyboard named '" + std::string(name) + "' in bundle " +
                   from->description());
    return storyboardWithJSON(name,
                              std::string_view(reinterpret_cast<const char*>(data->bytes()), data->length()));
}

rt::Ref<Storyboard> Storyboard::storyboardWithJSON(std::string_view name, std::string_view json) {
    const Reader reader(std::string(name) + ".storyboard.json");
    rt::Ref<ns::Error> error;
    auto top = rt::cast<ns::Dictionary>(ns::JSONSerialization::JSONObjectWithData(json, {}, &error));
    if (!top) reader.fail("(top)", error ? "not JSON: " + error->description() : "not a JSON object");

    auto storyboard = empty(name);
    storyboard->initialScene_ = reader.text(*top, "initialScene", "", false);
    if (!top->objectForKey("scenes")) reader.fail("scenes", "missing");
    reader.eachObject(*top, "scenes", "", [&](const ns::Dictionary& object, const std::string& at) {
        Scene scene;
        scene.identifier = reader.text(object, "identifier", at, true);
        scene.className = reader.text(object, "class", at, true);
        scene.rootScene = reader.text(object, "rootScene", at, false);
        scene.nib = reader.text(object, "nib", at, false);
        const std::string delegate = reader.text(object, "delegate", at, false);
        if (!delegate.empty() && delegate != "self")
            reader.fail(joined(at, "delegate"), "only \"self\" is understood");
        scene.delegateIsSelf = delegate == "self";
        scene.outlets = reader.texts(object, "outlets", at);
        scene.actions = reader.texts(object, "actions", at);
        reader.eachObject(
            object, "prototypeCells", at, [&](const ns::Dictionary& cell, const std::string& cellAt) {
                scene.prototypeCells.push_back({reader.text(cell, "reuseIdentifier", cellAt, true),
                                                reader.text(cell, "class", cellAt, true)});
            });
        if (auto attributes = object.objectForKey("attributes")) {
            auto table = rt::cast<ns::Dictionary>(attributes);
            if (!table) reader.fail(joined(at, "attributes"), "not an object");
            for (const auto& entry : *table) {
                const std::string keyPath = rt::cast<ns::String>(entry.key)->utf8(); // JSON keys are texts
                scene.attributes.emplace_back(keyPath,
                                              reader.attribute(entry.value, joined(at, "attributes") + "." + keyPath));
            }
        }
        if (storyboard->scene(scene.identifier))
            reader.fail(joined(at, "identifier"), "\"" + scene.identifier + "\" is taken");
        storyboard->scenes_.push_back(std::move(scene));
    });
    reader.eachObject(*top, "segues", "", [&](const ns::Dictionary& object, const std::string& at) {
        Segue segue;
        segue.source = reader.text(object, "source", at, true);
        segue.identifier = reader.text(object, "identifier", at, true);
        segue.kind = reader.text(object, "kind", at, true);
        segue.destination = reader.text(object, "destination", at, !segue.isUnwind());
        segue.action = reader.text(object, "action", at, segue.isUnwind());
        if (segue.isUnwind() && !segue.destination.empty())
            reader.fail(joined(at, "destination"), "an unwind segue finds its own");
        if (!segue.isUnwind() && !segue.action.empty())
            reader.fail(joined(at, "action"), "only an unwind segue has one");
        storyboard->registerSegue(std::move(segue));
    });
    reader.eachObject(*top, "nibs", "", [&](const ns::Dictionary& object, const std::string& at) {
        storyboard->nibs_.push_back(
            {reader.text(object, "name", at, true), reader.text(object, "reuseIdentifier", at, false)});
    });

    // Every scene named must be there.
    auto known = [&](const std::string& identifier) { return storyboard->scene(identifier) != nullptr; };
    if (!storyboard->initialScene_.empty() && !known(storyboard->initialScene_))
        reader.fail("initialScene", "no scene \"" + storyboard->initialScene_ + "\"");
    for (std::size_t i = 0; i < storyboard->scenes_.size(); ++i) {
        const Scene& scene = storyboard->scenes_[i];
        if (!scene.rootScene.empty() && !known(scene.rootScene))
            reader.fail("scenes[" + std::to_string(i) + "].rootScene",
                        "no scene \"" + scene.rootScene + "\"");
    }
    for (std::size_t i = 0; i < storyboard->segues_.size(); ++i) {
        const Segue& segue = storyboard->segues_[i];
        if (!segue.isUnwind() && !known(segue.destination))
            reader.fail("segues[" + std::to_string(i) + "].destination",
                        "no scene \"" + segue.destination + "\"");
    }
    return storyboard;
}

rt::Ref<Storyboard> Storyboard::storyboardNamed(const rt::Ref<ns::String>& name,
                                                const rt::Ref<ns::Bundle>& bundle) {
    return storyboardWithName(name ? std::string_view(name->utf8()) : std::string_view(), bundle);
}

// ---- Registering ---------------------------------------------------------------------------------

void Storyboard::registerScene(Scene scene) {
    auto it = std::find_if(scenes_.begin(), scenes_.end(),
                           [&](const Scene& s) { return s.identifier == scene.identifier; });
    if (it != scenes_.end())
        *it = std::move(scene);
    else
        scenes_.push_back(std::move(scene));
}

void Storyboard::registerScene(std::string identifier, std::string className) {
    if (const Scene* existing = scene(identifier)) {
        Scene replaced = *existing;
        replaced.className = std::move(className);
        registerScene(std::move(replaced));
        return;
    }
    Scene scene;
    scene.identifier = std::move(identifier);
    scene.className = std::move(className);
    registerScene(std::move(scene));
}

void Storyboard::registerSegue(Segue segue) {
    auto it = std::find_if(segues_.begin(), segues_.end(), [&](const Segue& s) {
        return s.source == segue.source && s.identifier == segue.identifier;
    });
    if (it != segues_.end())
        *it = std::move(segue);
    else
        segues_.push_back(std::move(segue));
}

const Storyboard::Scene* Storyboard::scene(std::string_view identifier) const {
    auto it = std::find_if(scenes_.begin(), scenes_.end(),
                           [&](const Scene& s) { return s.identifier == identifier; });
    return it == scenes_.end() ? nullptr : &*it;
}

const Storyboard::Segue* Storyboard::segueForController(const ViewController& source,
                                                        std::string_view identifier) const {
    auto declaredFor = [&](std::string_view sourceName) -> const Segue* {
        for (const Segue& segue : segues_)
            if (segue.identifier == identifier && segue.source == sourceName) return &segue;
        return nullptr;
    };
    if (!source.sceneIdentifier().empty())
        if (const Segue* segue = declaredFor(source.sceneIdentifier())) return segue;
    for (const rt::Class* cls = &source.actualClass(); cls; cls = cls->superclass())
        if (const Segue* segue = declaredFor(cls->name())) return segue;
    return nullptr;
}

// ---- Instantiating -------------------------------------------------------------------------------

namespace {

// An object of `cls`, made by name. A class made at run time gets its nearest compiled class's
// object, moved into it.
rt::Id allocate(const rt::Class& cls) {
    rt::Id object = cls.alloc();
    if (object && &object->actualClass() != &cls && cls.isSubclassOf(object->actualClass()))
        object->setActualClass(cls);
    return object;
}

} // namespace

rt::Ref<ViewController> Storyboard::instantiateInitialViewController() {
    return initialScene_.empty() ? nullptr : instantiateViewControllerWithIdentifier(initialScene_);
}

rt::Ref<ViewController> Storyboard::instantiateViewControllerWithIdentifier(std::string_view identifier) {
    const Scene* found = scene(identifier);
    if (!found)
        failLoudly("Storyboard (" + description() + ") doesn't contain a view controller with identifier '" +
                   std::string(identifier) + "'");
    const Scene scene = *found;
    const rt::Class* cls = rt::Class::named(scene.className);
    if (!cls)
        failLoudly("Unknown class " + scene.className + " in the scene '" + scene.identifier +
                   "' of storyboard '" + name_ + "'.");
    if (!cls->isSubclassOf(ViewController::staticClass()))
        failLoudly("The class " + scene.className + " of the scene '" + scene.identifier +
                   "' of storyboard '" + name_ + "' is not a view controller.");
    auto controller = rt::cast<ViewController>(allocate(*cls));
    if (!controller)
        failLoudly("The class " + scene.className + " of the scene '" + scene.identifier +
                   "' cannot be made by name.");
    controller->storyboard_ = rt::retained(this);
    controller->sceneIdentifier_ = scene.identifier;
    if (!scene.nib.empty()) controller->nibName_ = scene.nib;
    if (!scene.rootScene.empty()) {
        auto navigation = rt::cast<NavigationController>(controller);
        if (!navigation)
            failLoudly("The scene '" + scene.identifier + "' of storyboard '" + name_ +
                       "' names a root scene, but its class " + scene.className +
                       " is not a navigation controller.");
        navigation->setViewControllerList({instantiateViewControllerWithIdentifier(scene.rootScene)});
    }
    if (scene.delegateIsSelf) controller->setValueForKey(controller, "delegate");
    for (const auto& [keyPath, value] : scene.attributes) ns::setValueForKeyPath(controller, value, keyPath);
    return controller;
}

rt::Ref<ViewController> Storyboard::instantiateNamed(const rt::Ref<ns::String>& identifier) {
    return instantiateViewControllerWithIdentifier(identifier ? std::string_view(identifier->utf8())
                                                              : std::string_view());
}

const rt::Class* Storyboard::segueClassForKind(std::string_view kind) {
    const rt::Class& base = StoryboardSegue::staticClass();
    const rt::Class* cls = nullptr;
    if (kind == "push")
        cls = rt::Class::named("UIStoryboardPushSegue");
    else if (kind == "show")
        cls = rt::Class::named("UIStoryboardShowSegue");
    else if (kind == "present")
        cls = rt::Class::named("UIStoryboardPresentationSegue");
    else if (kind == "unwind")
        cls = rt::Class::named("UIStoryboardUnwindSegue");
    else
        cls = rt::Class::named(kind);
    return cls && cls->isSubclassOf(base) ? cls : nullptr;
}

rt::Ref<StoryboardSegue> Storyboard::makeSegue(const Segue& segue, const rt::Ref<ViewController>& source,
                                               const rt::Ref<ViewController>& destination) const {
    const rt::Class* cls = segueClassForKind(segue.kind);
    auto made = cls ? rt::cast<StoryboardSegue>(allocate(*cls)) : nullptr;
    if (!made)
        failLoudly("The segue '" + segue.identifier + "' of storyboard '" + name_ + "' is of the kind '" +
                   segue.kind + "', which names no segue class.");
    made->initWithIdentifier(segue.identifier, source, destination);
    return made;
}

std::string Storyboard::description() const {
    return ns::format("<UIStoryboard: %p; name = %s>", static_cast<const void*>(this), name_);
}

RT_DEFINE_CLASS(Storyboard, "UIStoryboard", rt::Object,
                rt::classMethod("storyboardWithName:bundle:", &Storyboard::storyboardNamed),
                rt::method("instantiateInitialViewController", &Storyboard::instantiateInitialViewController),
                rt::method("instantiateViewControllerWithIdentifier:", &Storyboard::instantiateNamed))

} // namespace ui
