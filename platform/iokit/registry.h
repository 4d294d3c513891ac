#pragma once
// The least of the I/O registry, over the simulated device's power registry (the profile's
// "registry", changed by the charger and registry stimuli).
//
// Matching goes by class name: IOServiceGetMatchingService answers the first entry whose
// "IOClass" is the name asked for (or, failing that, the entry of that service name), or 0.
// Property reads are copies; entry 0, or an entry that has left the registry, reads as an error
// and nil. A notification port has a run-loop source: add it to a run loop, and each interest
// registration on the port hears one message (kIOMessageServicePropertyChange) per change of its
// entry's properties (its leaving included), delivered when that run loop runs one of the
// source's modes. A destroyed port hears nothing more; entry 0 cannot be registered.

#include <cstdint>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/run_loop.h"

namespace io {

using kern_return_t = int;
using mach_port_t = std::uint32_t;
using io_object_t = std::uint32_t;
using io_service_t = io_object_t;
using io_registry_entry_t = io_object_t;
using IOOptionBits = std::uint32_t;

inline constexpr kern_return_t KERN_SUCCESS = 0;
inline constexpr kern_return_t kIOReturnError = static_cast<kern_return_t>(0xe00002bc);
inline constexpr kern_return_t kIOReturnBadArgument = static_cast<kern_return_t>(0xe00002c2);
inline constexpr kern_return_t kIOReturnNotFound = static_cast<kern_return_t>(0xe00002f0);
inline constexpr std::uint32_t kIOMessageServicePropertyChange = 0xe0000130;
inline constexpr const char* kIOGeneralInterest = "IOGeneralInterest";
inline constexpr mach_port_t MACH_PORT_NULL = 0;

struct NotificationPort;
using IONotificationPortRef = NotificationPort*;
using IOServiceInterestCallback = void (*)(void* refCon, io_service_t service, std::uint32_t messageType,
                                           void* messageArgument);

kern_return_t IOMasterPort(mach_port_t bootstrapPort, mach_port_t* masterPort);
// {"IOProviderClass": name}.
rt::Ref<ns::MutableDictionary> IOServiceMatching(const char* name);
io_service_t IOServiceGetMatchingService(mach_port_t masterPort, const rt::Ref<ns::Dictionary>& matching);
kern_return_t IORegistryEntryCreateCFProperties(io_registry_entry_t entry, rt::Ref<ns::MutableDictionary>* properties,
                                                const void* allocator, IOOptionBits options);
kern_return_t IOObjectRelease(io_object_t object);

IONotificationPortRef IONotificationPortCreate(mach_port_t masterPort);
rt::Ref<ns::RunLoopSource> IONotificationPortGetRunLoopSource(IONotificationPortRef port);
// Invalidates the port's source and ends its registrations; the port is gone afterwards.
void IONotificationPortDestroy(IONotificationPortRef port);
kern_return_t IOServiceAddInterestNotification(IONotificationPortRef port, io_service_t service,
                                               const char* interestType, IOServiceInterestCallback callback,
                                               void* refCon, io_object_t* notification);

} // namespace io
