#include "platform/iokit/registry.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/string.h"
#include "platform/sim/boxed_registry.h"
#include "platform/sim/device.h"

namespace io {

namespace {

constexpr io_object_t kFirstEntry = 0x1001;

} // namespace

// The port has linkage, so the types it holds are its own members, not the anonymous namespace's.
struct NotificationPort {
    struct Registration {
        io_service_t entry;
        std::string service;
        IOServiceInterestCallback callback;
        void* refCon;
        std::optional<sim::RegistryProperties> last; // what the entry held at the last message
    };

    struct Message {
        IOServiceInterestCallback callback;
        void* refCon;
        io_service_t entry;
    };

    rt::Ref<ns::RunLoopSource> source;
    std::vector<Registration> registrations;
    std::deque<Message> pending;
    bool destroyed = false;
};

namespace {

// Entries by handle, and the live ports. Guarded by `lock`.
struct Table {
    std::mutex lock;
    std::vector<std::string> entries; // handle kFirstEntry + i names entries[i]
    std::vector<std::shared_ptr<NotificationPort>> ports;

    static Table& shared() {
        static Table* table = new Table; // lives for the process: ports may be read at exit
        return *table;
    }

    io_object_t handleFor(const std::string& service) {
        auto it = std::find(entries.begin(), entries.end(), service);
        if (it == entries.end()) it = entries.insert(entries.end(), service);
        return kFirstEntry + static_cast<io_object_t>(it - entries.begin());
    }

    std::optional<std::string> serviceOf(io_object_t handle) {
        if (handle < kFirstEntry || handle - kFirstEntry >= entries.size()) return std::nullopt;
        return entries[handle - kFirstEntry];
    }

    std::shared_ptr<NotificationPort> find(IONotificationPortRef port) {
        auto it = std::find_if(ports.begin(), ports.end(), [port](const auto& p) { return p.get() == port; });
        return it == ports.end() ? nullptr : *it;
    }
};

std::optional<sim::RegistryProperties> propertiesOf(const sim::Registry& registry, const std::string& service) {
    auto it = registry.find(service);
    if (it == registry.end()) return std::nullopt;
    return it->second;
}

// Queues one message per registration whose entry changed, then wakes the ports' run loops.
void registryChanged(const sim::Profile& state) {
    std::vector<rt::Ref<ns::RunLoopSource>> wake;
    {
        Table& table = Table::shared();
        std::lock_guard g(table.lock);
        for (const auto& port : table.ports) {
            bool queued = false;
            for (NotificationPort::Registration& r : port->registrations) {
                auto now = propertiesOf(state.registry, r.service);
                if (now == r.last) continue;
                r.last = std::move(now);
                port->pending.push_back({r.callback, r.refCon, r.entry});
                queued = true;
            }
            if (queued) wake.push_back(port->source);
        }
    }
    for (const auto& source : wake)
        source->signal();
}

// Delivers what the port has pending, on the run loop performing its source.
void deliver(const std::weak_ptr<NotificationPort>& weak) {
    for (;;) {
        std::shared_ptr<NotificationPort> port = weak.lock();
        if (!port) return;
        NotificationPort::Message message;
        {
            std::lock_guard g(Table::shared().lock);
            if (port->destroyed || port->pending.empty()) return;
            message = port->pending.front();
            port->pending.pop_front();
        }
        message.callback(message.refCon, message.entry, kIOMessageServicePropertyChange, nullptr);
    }
}

} // namespace

kern_return_t IOMasterPort(mach_port_t, mach_port_t* masterPort) {
    if (masterPort) *masterPort = 1;
    return KERN_SUCCESS;
}

rt::Ref<ns::MutableDictionary> IOServiceMatching(const char* name) {
    auto matching = ns::MutableDictionary::make();
    if (name) matching->setObjectForKey(ns::String::make(name), "IOProviderClass");
    return matching;
}

io_service_t IOServiceGetMatchingService(mach_port_t, const rt::Ref<ns::Dictionary>& matching) {
    auto name = matching ? rt::cast<ns::String>(matching->objectForKey("IOProviderClass")) : nullptr;
    if (!name) return 0;
    const std::string wanted = name->utf8();
    const auto state = sim::currentDevice();
    std::optional<std::string> found;
    for (const auto& [service, properties] : state->registry) {
        auto it = properties.find("IOClass");
        if (it != properties.end() && std::holds_alternative<std::string>(it->second) &&
            std::get<std::string>(it->second) == wanted) {
            found = service;
            break;
        }
    }
    if (!found && state->registry.contains(wanted)) found = wanted;
    if (!found) return 0;
    Table& table = Table::shared();
    std::lock_guard g(table.lock);
    return table.handleFor(*found);
}

kern_return_t IORegistryEntryCreateCFProperties(io_registry_entry_t entry, rt::Ref<ns::MutableDictionary>* properties,
                                                const void*, IOOptionBits) {
    if (!properties) return kIOReturnBadArgument;
    *properties = nullptr;
    std::optional<std::string> service;
    {
        Table& table = Table::shared();
        std::lock_guard g(table.lock);
        service = table.serviceOf(entry);
    }
    if (!service) return kIOReturnBadArgument;
    auto now = propertiesOf(sim::currentDevice()->registry, *service);
    if (!now) return kIOReturnNotFound; // the entry has left the registry
    *properties = sim::boxedProperties(*now);
    return KERN_SUCCESS;
}

kern_return_t IOObjectRelease(io_object_t) {
    return KERN_SUCCESS;
}

IONotificationPortRef IONotificationPortCreate(mach_port_t) {
    static std::once_flag hooked;
    std::call_once(hooked, [] { sim::Device::shared().addHook(sim::Aspect::Registry, &registryChanged); });
    auto port = std::make_shared<NotificationPort>();
    port->source = ns::RunLoopSource::make([weak = std::weak_ptr<NotificationPort>(port)] { deliver(weak); });
    Table& table = Table::shared();
    std::lock_guard g(table.lock);
    table.ports.push_back(port);
    return port.get();
}

rt::Ref<ns::RunLoopSource> IONotificationPortGetRunLoopSource(IONotificationPortRef port) {
    Table& table = Table::shared();
    std::lock_guard g(table.lock);
    auto found = table.find(port);
    return found ? found->source : nullptr;
}

void IONotificationPortDestroy(IONotificationPortRef port) {
    std::shared_ptr<NotificationPort> found;
    {
        Table& table = Table::shared();
        std::lock_guard g(table.lock);
        found = table.find(port);
        if (!found) return;
        found->destroyed = true;
        found->registrations.clear();
        found->pending.clear();
        std::erase(table.ports, found);
    }
    found->source->invalidate();
}

kern_return_t IOServiceAddInterestNotification(IONotificationPortRef port, io_service_t service, const char*,
                                               IOServiceInterestCallback callback, void* refCon,
                                               io_object_t* notification) {
    if (!callback || service == 0) return kIOReturnBadArgument;
    Table& table = Table::shared();
    std::optional<std::string> name;
    {
        std::lock_guard g(table.lock);
        name = table.serviceOf(service);
    }
    if (!name) return kIOReturnBadArgument;
    auto last = propertiesOf(sim::currentDevice()->registry, *name);
    std::lock_guard g(table.lock);
    auto found = table.find(port);
    if (!found) return kIOReturnBadArgument;
    found->registrations.push_back({service, *name, callback, refCon, std::move(last)});
    if (notification) *notification = static_cast<io_object_t>(found->registrations.size());
    return KERN_SUCCESS;
}

} // namespace io
