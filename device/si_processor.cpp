#include "device/si_processor.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/dictionary.h"
#include "platform/foundation/process_info.h"
#include "platform/foundation/string.h"
#include "platform/runtime/class.h"
#include "platform/sim/host_tables.h"
#include "platform/sim/sysctl.h"

namespace si {

namespace {

constexpr int kProcessTable[] = {sim::kCtlKern, sim::kKernProc, sim::kKernProcAll, 0};
constexpr unsigned kTaskInfoWords = 1024, kThreadInfoWords = 32;

struct ProcessTable {
    std::unique_ptr<unsigned char[]> bytes;
    std::size_t size = 0;
};

// The whole process table, or nullopt. The table may grow between asking its size and reading it:
// each read asks a tenth more than the last size, at least one record more, until it fits. The
// buffer is not cleared first: the kernel writes every byte it answers.
std::optional<ProcessTable> readProcessTable() {
    std::size_t size = 0;
    if (sim::sysctl(kProcessTable, 4, nullptr, &size, nullptr, 0) != 0) return std::nullopt;
    ProcessTable table;
    for (;;) {
        size += std::max(size / 10, sim::kProcessRecordSize);
        table.bytes.reset(new (std::nothrow) unsigned char[size]);
        if (!table.bytes) return std::nullopt;
        if (sim::sysctl(kProcessTable, 4, table.bytes.get(), &size, nullptr, 0) == 0) break;
        if (errno != ENOMEM) return std::nullopt;
    }
    if (size % sim::kProcessRecordSize != 0 || size < sim::kProcessRecordSize) return std::nullopt;
    table.size = size;
    return table;
}

} // namespace

std::int64_t Processor::processorsNumber() {
    return static_cast<std::int64_t>(ns::ProcessInfo::processInfo()->processorCount());
}

std::int64_t Processor::activeProcessorsNumber() {
    return static_cast<std::int64_t>(ns::ProcessInfo::processInfo()->activeProcessorCount());
}

double Processor::cpuUsageForApp() {
    std::int32_t taskInfo[kTaskInfoWords];
    unsigned count = kTaskInfoWords;
    if (sim::task_info(sim::mach_task_self(), sim::kTaskBasicInfo, taskInfo, &count) != sim::kKernSuccess) return -1;
    sim::ThreadPort* threads = nullptr;
    unsigned threadCount = 0;
    if (sim::task_threads(sim::mach_task_self(), &threads, &threadCount) != sim::kKernSuccess) return -1;
    double usage = 0;
    for (unsigned i = 0; i < threadCount; ++i) {
        std::int32_t words[kThreadInfoWords]{};
        unsigned wordCount = kThreadInfoWords;
        if (sim::thread_info(threads[i], sim::kThreadBasicInfo, words, &wordCount) != sim::kKernSuccess) {
            usage = -1;
            break;
        }
        sim::ThreadBasicInfo info{};
        std::memcpy(&info, words, sizeof info);
        if (!(info.flags & sim::kThreadIdle)) usage += static_cast<double>(info.cpuUsage) / sim::kThreadUsageScale;
    }
    // The list is given back on every path, the failing one too.
    sim::vm_deallocate(sim::mach_task_self(), threads, threadCount * sizeof(sim::ThreadPort));
    return usage;
}

rt::Ref<ns::Array> Processor::activeProcesses() {
    const auto table = readProcessTable();
    if (!table) return nullptr;
    const std::size_t records = table->size / sim::kProcessRecordSize;
    const rt::Id idKey = ns::String::make("ProcessID"), nameKey = ns::String::make("ProcessName");
    std::vector<rt::Id> processes;
    processes.reserve(records);
    for (std::size_t i = records; i-- > 0;) {
        const unsigned char* record = table->bytes.get() + i * sim::kProcessRecordSize;
        std::int32_t pid = 0;
        std::memcpy(&pid, record + sim::kProcessIdOffset, sizeof pid);
        // A name without its terminator ends with the record.
        const char* name = reinterpret_cast<const char*>(record + sim::kProcessNameOffset);
        const std::size_t length = ::strnlen(name, sim::kProcessRecordSize - sim::kProcessNameOffset);
        char id[16];
        const char* idEnd = std::to_chars(id, id + sizeof id, pid).ptr;
        auto process = ns::MutableDictionary::withCapacity(2);
        process->setObjectForKey(ns::String::make(std::string_view(id, static_cast<std::size_t>(idEnd - id))), idKey);
        process->setObjectForKey(ns::String::make(std::string_view(name, length)), nameKey);
        processes.push_back(std::move(process));
    }
    return ns::Array::make(std::move(processes));
}

std::int64_t Processor::numberOfActiveProcesses() {
    const auto processes = activeProcesses();
    return processes ? static_cast<std::int64_t>(processes->count()) : 0;
}

RT_DEFINE_CLASS(Processor, "SIProcessor", rt::Object, rt::classMethod("processorsNumber", &Processor::processorsNumber),
                rt::classMethod("activeProcessorsNumber", &Processor::activeProcessorsNumber),
                rt::classMethod("cpuUsageForApp", &Processor::cpuUsageForApp),
                rt::classMethod("activeProcesses", &Processor::activeProcesses),
                rt::classMethod("numberOfActiveProcesses", &Processor::numberOfActiveProcesses))

} // namespace si
