#include "device/si_disk.h"

#include <cstdio>

#include "platform/foundation/application_home.h"
#include "platform/foundation/file_manager.h"
#include "platform/runtime/class.h"
#include "platform/runtime/number.h"

namespace si {

namespace {

// An attribute of the home directory's file system, as a signed 64-bit count; 0 when unreadable.
std::int64_t fileSystemFigure(const char* key) {
    const auto attributes = ns::FileManager::defaultManager()->attributesOfFileSystemForPath(ns::homeDirectory());
    const auto value = attributes ? rt::cast<ns::Number>(attributes->objectForKey(key)) : nullptr;
    return value ? value->longLongValue() : 0;
}

std::int64_t usedBytes() {
    return static_cast<std::int64_t>(Disk::totalDiskSpaceInBytes() - Disk::freeDiskSpaceInBytes());
}

} // namespace

rt::Ref<ns::String> Disk::memoryFormatter(std::int64_t bytes) {
    const double value = static_cast<double>(bytes);
    char text[64];
    if (value / (1 << 30) >= 1) std::snprintf(text, sizeof text, "%.2f GB", value / (1 << 30));
    else if (value / (1 << 20) >= 1) std::snprintf(text, sizeof text, "%.2f MB", value / (1 << 20));
    else std::snprintf(text, sizeof text, "%.2f bytes", value);
    return ns::String::make(text);
}

double Disk::totalDiskSpaceInBytes() { return static_cast<double>(fileSystemFigure(ns::FileSystemSize)); }
double Disk::freeDiskSpaceInBytes() { return static_cast<double>(fileSystemFigure(ns::FileSystemFreeSize)); }
double Disk::usedDiskSpaceInBytes() { return static_cast<double>(usedBytes()); }
double Disk::numberOfNodes() { return static_cast<double>(fileSystemFigure(ns::FileSystemNodes)); }

rt::Ref<ns::String> Disk::totalDiskSpace() { return memoryFormatter(fileSystemFigure(ns::FileSystemSize)); }
rt::Ref<ns::String> Disk::freeDiskSpace() { return memoryFormatter(fileSystemFigure(ns::FileSystemFreeSize)); }
rt::Ref<ns::String> Disk::usedDiskSpace() { return memoryFormatter(usedBytes()); }

RT_DEFINE_CLASS(Disk, "SIDisk", rt::Object, rt::classMethod("totalDiskSpace", &Disk::totalDiskSpace),
                rt::classMethod("freeDiskSpace", &Disk::freeDiskSpace),
                rt::classMethod("usedDiskSpace", &Disk::usedDiskSpace),
                rt::classMethod("totalDiskSpaceInBytes", &Disk::totalDiskSpaceInBytes),
                rt::classMethod("freeDiskSpaceInBytes", &Disk::freeDiskSpaceInBytes),
                rt::classMethod("usedDiskSpaceInBytes", &Disk::usedDiskSpaceInBytes),
                rt::classMethod("numberOfNodes", &Disk::numberOfNodes),
                rt::classMethod("memoryFormatter:", &Disk::memoryFormatter))

} // namespace si
