// The hardware, storage, memory, processor, localisation and jailbreak answers, each from a device
// whose figures the profile fixes (or, where a test says so, from the host).

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "device/si_battery.h"
#include "device/si_disk.h"
#include "device/si_hardware.h"
#include "device/si_jailbreak.h"
#include "device/si_localization.h"
#include "device/si_memory.h"
#include "device/si_processor.h"
#include "platform/foundation/dictionary.h"
#include "platform/sim/device.h"
#include "platform/sim/kernel_hook.h"
#include "platform/sim/sysctl.h"
#include "platform/uikit/device.h"
#include "tests/testkit/app/app_fixture.h"

namespace {

namespace fs = std::filesystem;

std::string textOrNil(const rt::Ref<ns::String>& s) { return s ? s->utf8() : "nil"; }
std::string textOrNil(const rt::Id& value) { return value ? value->description() : "nil"; }

testkit::AppOptions with(std::function<void(sim::Profile&)> adjust) { return {.adjust = std::move(adjust)}; }

// Appends a process record to a table the kernel is about to answer.
void appendRecord(std::vector<unsigned char>& table, std::int32_t pid, const std::string& name) {
    const std::size_t at = table.size();
    table.resize(at + sim::kProcessRecordSize, 0);
    std::memcpy(&table[at + sim::kProcessIdOffset], &pid, sizeof pid);
    std::memcpy(&table[at + sim::kProcessNameOffset], name.data(), name.size());
}

// "pid name" per dictionary; "nil" for no array.
std::vector<std::string> processes() {
    const auto list = si::Processor::activeProcesses();
    if (!list) return {"nil"};
    std::vector<std::string> out;
    for (std::size_t i = 0; i < list->count(); ++i) {
        const auto process = rt::cast<ns::Dictionary>(list->objectAtIndex(i));
        out.push_back(textOrNil(process->objectForKey("ProcessID")) + " " + textOrNil(process->objectForKey("ProcessName")));
    }
    return out;
}

} // namespace

TEST(SIHardware, MachineIdentifiersNameTheirPlatformOrFamily) {
    const std::pair<const char*, const char*> cases[] = {
        {"iPhone5,2", "iPhone 5"}, {"iPad5,4", "iPad Air 2"}, {"i386", "Simulator"},   {"iPhone7,1", "iPhone 6 Plus"},
        {"iPhone10,3", "iPhone"},  {"iPod9,1", "iPod"},       {"iPad8,1", "iPad"},      {"iPadiPhone1,1", "iPadiP"},
        {"x86_64", "nil"},         {"AppleTV5,3", "nil"},     {"iPhone5,2 ", "iPhone"}, {"", "nil"},
    };
    for (const auto& [machine, name] : cases)
        EXPECT_EQ(si::Hardware::platformNameForMachine(machine).value_or("nil"), name) << machine;
    testkit::AppFixture app(with([](sim::Profile& p) { p.machine = "iPad5,4"; }));
    EXPECT_EQ(textOrNil(si::Hardware::platformType()), "iPad Air 2");
}

TEST(SIHardware, PerModelValuesComeFromThePlistNamedAfterThePlatform) {
    {
        testkit::AppFixture app;
        ASSERT_TRUE(si::Hardware::infoForDevice()) << "the default device reads the shipped iPhone list";
        EXPECT_EQ(textOrNil(si::Hardware::sim()), "Nano-SIM");
        EXPECT_EQ(textOrNil(si::Hardware::displayType()), "Retina HD IPS LCD");
        EXPECT_TRUE(si::Hardware::siri());
        EXPECT_TRUE(si::Hardware::touchID());
    }
    {
        testkit::AppFixture app(with([](sim::Profile& p) { p.machine = "iPhone7,1"; }));
        EXPECT_EQ(textOrNil(si::Hardware::weight()), "172 g") << "blanks leave the name: iPhone6Plus";
    }
    testkit::AppFixture app(with([](sim::Profile& p) { p.machine = "iPod9,1"; }));
    EXPECT_TRUE(si::Hardware::siri());
    EXPECT_FALSE(si::Hardware::touchID()) << "only \"Yes\" counts";
}

TEST(SIHardware, WithoutAPlistEveryPerModelAnswerIsMissing) {
    testkit::AppFixture app({.copyBundle = true});
    fs::remove(app.bundleFolder() + "/iPhone.plist");
    EXPECT_FALSE(si::Hardware::infoForDevice());
    for (const auto answer : {si::Hardware::sim, si::Hardware::dimensions, si::Hardware::weight,
                              si::Hardware::displayType, si::Hardware::displayDensity, si::Hardware::WLAN,
                              si::Hardware::bluetooth, si::Hardware::cameraPrimary, si::Hardware::cameraSecondary,
                              si::Hardware::cpu, si::Hardware::gpu})
        EXPECT_FALSE(answer());
    EXPECT_FALSE(si::Hardware::siri());
    EXPECT_FALSE(si::Hardware::touchID());
    for (const auto hours : {si::Battery::remainingHoursForStandby, si::Battery::remainingHoursFor3gConversation,
                             si::Battery::remainingHoursFor2gConversation, si::Battery::remainingHoursForInternet3g,
                             si::Battery::remainingHoursForInternetWiFi, si::Battery::remainingHoursForVideo,
                             si::Battery::remainingHoursForAudio})
        EXPECT_EQ(textOrNil(hours()), "NS");
    // A list that is not a dictionary is no list.
    std::ofstream(app.bundleFolder() + "/iPhone.plist") << "<plist><array><string>x</string></array></plist>";
    EXPECT_FALSE(si::Hardware::infoForDevice());
}

TEST(SIHardware, ScreenDeviceAndUptime) {
    testkit::AppFixture app(with([](sim::Profile& p) {
        p.screen = {320.9, 568.5, 2, 0.25};
        p.name = "Tester's";
        p.multitasking = false;
        p.host.uptime = 90061;
    }));
    EXPECT_EQ(si::Hardware::screenWidth(), 320);
    EXPECT_EQ(si::Hardware::screenHeight(), 568);
    EXPECT_DOUBLE_EQ(si::Hardware::brightness(), 25);
    EXPECT_EQ(textOrNil(si::Hardware::deviceName()), "Tester's");
    EXPECT_EQ(textOrNil(si::Hardware::deviceModel()), "iPhone");
    EXPECT_EQ(textOrNil(si::Hardware::systemVersion()), "12.4.1");
    EXPECT_FALSE(si::Hardware::multitaskingEnabled());
    EXPECT_EQ(textOrNil(si::Hardware::bootTime()), "25:01:01") << "hours run past a day";
}

TEST(SIHardware, AFixedUptimeRunsOnWithTheClock) {
    testkit::AppFixture app(with([](sim::Profile& p) { p.host.uptime = 59; }));
    EXPECT_EQ(textOrNil(si::Hardware::bootTime()), "00:00:59");
    app.clock().advance(2.9);
    EXPECT_EQ(textOrNil(si::Hardware::bootTime()), "00:01:01");
}

TEST(SIHardware, TheProximityProbeLeavesMonitoringAsItWas) {
    {
        testkit::AppFixture app;
        const auto& device = ui::Device::currentDevice();
        EXPECT_TRUE(si::Hardware::proximitySensor());
        EXPECT_FALSE(device->isProximityMonitoringEnabled());
        device->setProximityMonitoringEnabled(true);
        EXPECT_TRUE(si::Hardware::proximitySensor());
        EXPECT_TRUE(device->isProximityMonitoringEnabled());
    }
    testkit::AppFixture app(with([](sim::Profile& p) { p.sensors.proximity = false; }));
    EXPECT_FALSE(si::Hardware::proximitySensor());
}

TEST(SIDisk, ByteCountsAreFormattedInTheLargestWholeUnit) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {(1 << 20) - 1, "1048575.00 bytes"}, {1 << 20, "1.00 MB"}, {3ll << 29, "1.50 GB"},
        {0, "0.00 bytes"},                   {-5, "-5.00 bytes"},  {(1ll << 30) - 1, "1024.00 MB"},
    };
    for (const auto& [bytes, expected] : cases) EXPECT_EQ(textOrNil(si::Disk::memoryFormatter(bytes)), expected) << bytes;
}

TEST(SIDisk, TheHomesFileSystemOrTheProfilesStorage) {
    {
        testkit::AppFixture app(with([](sim::Profile& p) { p.host.disk = sim::HostFigures::Memory{64.0 * (1 << 30), 1.5 * (1 << 30)}; }));
        EXPECT_EQ(textOrNil(si::Disk::totalDiskSpace()), "64.00 GB");
        EXPECT_EQ(textOrNil(si::Disk::freeDiskSpace()), "1.50 GB");
        EXPECT_EQ(textOrNil(si::Disk::usedDiskSpace()), "62.50 GB");
        EXPECT_DOUBLE_EQ(si::Disk::usedDiskSpaceInBytes(), 62.5 * (1 << 30));
        EXPECT_DOUBLE_EQ(si::Disk::numberOfNodes(), 64.0 * (1 << 30) / 4096);
    }
    testkit::AppFixture app(with([](sim::Profile& p) { p.host.disk.reset(); }));
    const auto space = fs::space(app.homeFolder());
    EXPECT_DOUBLE_EQ(si::Disk::totalDiskSpaceInBytes(), static_cast<double>(space.capacity));
    EXPECT_GT(si::Disk::numberOfNodes(), 0);
}

TEST(SIMemory, TheTotalRoundsToTheNearest256MiB) {
    for (const auto& [mib, rounded] : {std::pair{2952, 3072}, {2944, 3072}, {2943, 2816}, {100, 0}, {128, 256}}) {
        testkit::AppFixture app(with([mib = mib](sim::Profile& p) { p.host.memory = sim::HostFigures::Memory{mib * 1048576.0, 0}; }));
        EXPECT_EQ(si::Memory::totalMemory(), rounded) << mib;
    }
}

TEST(SIMemory, PageCountsInMiBOrMinusOneWhenTheStatisticsFail) {
    testkit::AppFixture app(with([](sim::Profile& p) { p.host.memory = sim::HostFigures::Memory{2048.0 * 1048576, 512.0 * 1048576}; }));
    EXPECT_EQ(si::Memory::freeMemory(), 512);
    EXPECT_EQ(si::Memory::usedMemory(), 1536);
    EXPECT_EQ(si::Memory::activeMemory() + si::Memory::inactiveMemory() + si::Memory::wiredMemory(), 1536);
    for (const auto call : {sim::KernelCall::HostStatistics, sim::KernelCall::HostPageSize}) {
        sim::ScopedKernelHook hook(sim::failingCall(call, EIO));
        for (const auto answer : {si::Memory::freeMemory, si::Memory::usedMemory, si::Memory::activeMemory,
                                  si::Memory::wiredMemory, si::Memory::inactiveMemory})
            EXPECT_EQ(answer(), -1);
    }
}

TEST(SIProcessor, ProcessesComeLastToFirstWithTheirIdsAndNames) {
    testkit::AppFixture app(with([](sim::Profile& p) {
        p.host.processes = 3;
        p.host.processors = sim::HostFigures::Processors{6, 4};
    }));
    EXPECT_EQ(processes(), (std::vector<std::string>{"3 process3", "2 process2", "1 process1"}));
    EXPECT_EQ(si::Processor::numberOfActiveProcesses(), 3);
    EXPECT_EQ(si::Processor::processorsNumber(), 6);
    EXPECT_EQ(si::Processor::activeProcessorsNumber(), 4);
}

TEST(SIProcessor, ATableThatGrowsWhileBeingReadIsReadAgainWhole) {
    testkit::AppFixture app(with([](sim::Profile& p) { p.host.processes = 10; }));
    int reads = 0;
    sim::ScopedKernelHook hook([&](const sim::KernelRequest& r) {
        // Each read finds five more processes than the one before.
        if (r.answer && !r.sizeQuery) {
            ++reads;
            for (int k = 0; k < 5 * reads; ++k) appendRecord(*r.answer, 100 + k, "late" + std::to_string(k));
        }
        return 0;
    });
    const auto list = processes();
    EXPECT_GT(reads, 1);
    ASSERT_EQ(list.size(), 10u + 5 * reads);
    const int last = 5 * reads - 1;
    EXPECT_EQ(list.front(), std::to_string(100 + last) + " late" + std::to_string(last));
    EXPECT_EQ(list.back(), "1 process1");
}

TEST(SIProcessor, AnUnsoundTableGivesNil) {
    testkit::AppFixture app(with([](sim::Profile& p) { p.host.processes = 3; }));
    const std::function<int(const sim::KernelRequest&)> faults[] = {
        [](const sim::KernelRequest& r) { return r.sizeQuery ? EIO : 0; },
        [](const sim::KernelRequest& r) { return r.sizeQuery ? 0 : EPERM; },
        [](const sim::KernelRequest& r) {
            if (r.answer) r.answer->resize(r.answer->size() + 100);
            return 0;
        },
        [](const sim::KernelRequest& r) {
            if (r.answer) r.answer->clear();
            return 0;
        },
    };
    for (const auto& fault : faults) {
        sim::ScopedKernelHook hook(fault);
        EXPECT_EQ(processes(), std::vector<std::string>{"nil"});
        EXPECT_EQ(si::Processor::numberOfActiveProcesses(), 0);
    }
    // A name without its terminator stops at the record's end.
    sim::ScopedKernelHook hook([](const sim::KernelRequest& r) {
        if (r.answer) std::memset(r.answer->data() + sim::kProcessNameOffset, 'a', sim::kProcessRecordSize - sim::kProcessNameOffset);
        return 0;
    });
    EXPECT_EQ(processes().back(), "1 " + std::string(sim::kProcessRecordSize - sim::kProcessNameOffset, 'a'));
}

TEST(SIProcessor, HostModeListsThisProcess) {
    testkit::AppFixture app(with([](sim::Profile& p) { p.host.processes.reset(); }));
    const auto list = processes();
    const std::string self = std::to_string(::getpid()) + " ";
    EXPECT_NE(std::find_if(list.begin(), list.end(), [&](const std::string& s) { return s.rfind(self, 0) == 0; }),
              list.end());
}

TEST(SIProcessor, TheApplicationsLoadSumsItsBusyThreads) {
    std::optional<std::vector<sim::ThreadLoad>> threads = std::vector<sim::ThreadLoad>{{300, false}, {200, true}, {500, false}};
    testkit::AppFixture app(with([&](sim::Profile& p) { p.host.threads = threads; }));
    EXPECT_DOUBLE_EQ(si::Processor::cpuUsageForApp(), 0.8);
    for (const auto call : {sim::KernelCall::TaskInfo, sim::KernelCall::TaskThreads, sim::KernelCall::ThreadInfo}) {
        sim::ScopedKernelHook hook(sim::failingCall(call, EIO));
        EXPECT_EQ(si::Processor::cpuUsageForApp(), -1);
    }
    sim::Profile none = *sim::currentDevice();
    none.host.threads = std::vector<sim::ThreadLoad>{};
    sim::ScopedDevice device(none);
    EXPECT_EQ(si::Processor::cpuUsageForApp(), 0);
}

TEST(SILocalization, LanguageAndRegionComeFromTheDevice) {
    testkit::AppFixture app(with([](sim::Profile& p) {
        p.languages = {"fr-CA", "en"};
        p.locale = {"fr_CA", "America/Toronto", "CAD", "Metric"};
    }));
    EXPECT_EQ(textOrNil(si::Localization::language()), "fr-CA");
    EXPECT_EQ(textOrNil(si::Localization::timeZone()), "America/Toronto");
    EXPECT_EQ(textOrNil(si::Localization::currencyCode()), "CAD");
    EXPECT_EQ(textOrNil(si::Localization::currencySymbol()), "CA$");
    EXPECT_EQ(textOrNil(si::Localization::country()), "fr_CA");
    EXPECT_EQ(textOrNil(si::Localization::measurementSystem()), "Metric");
}

TEST(SIJailbreak, OnlyAShellUnderTheDevicesRootCounts) {
    {
        testkit::AppFixture app;
        EXPECT_FALSE(si::Jailbreak::isJailbroken()) << "a clean device, whatever the host has";
    }
    const fs::path root = fs::temp_directory_path() / ("si-root-" + std::to_string(::getpid()));
    fs::create_directories(root / "bin");
    // A link to the host's own shell is followed inside the root, where there is none.
    fs::create_symlink("/bin/sh", root / "bin/bash");
    {
        testkit::AppFixture app(with([&](sim::Profile& p) { p.deviceRoot = root.string(); }));
        EXPECT_FALSE(si::Jailbreak::isJailbroken());
    }
    fs::remove(root / "bin/bash");
    std::ofstream(root / "bin/bash") << "#!";
    {
        testkit::AppFixture app(with([&](sim::Profile& p) { p.deviceRoot = root.string(); }));
        EXPECT_TRUE(si::Jailbreak::isJailbroken());
    }
    fs::remove_all(root);
}
