#include "battery.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kDefaultSeed = 20240607;

BatteryScale g_scale;

BatteryScale ShortScale()
{
    BatteryScale scale;
    scale.stormMessages = 20000;
    scale.loadPackets = 500;
    scale.lifecycleCycles = 20;
    scale.commandLines = 8;
    scale.queueMessages = 200000;
    return scale;
}

BatteryScale LongScale()
{
    BatteryScale scale;
    scale.isLong = true;
    scale.stormMessages = 1000000;
    scale.loadPackets = 10000;
    scale.lifecycleCycles = 200;
    scale.commandLines = 100;
    scale.queueMessages = 2000000;
    return scale;
}

bool IsSet(const char *variable)
{
    const char *value = std::getenv(variable);
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

// FNV-1a: a salt gives every test its own stream from the one printed seed.
uint32_t HashSalt(const char *salt)
{
    uint32_t hash = 2166136261u;
    for (const char *c = salt; *c != '\0'; ++c)
        hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
    return hash;
}

} // namespace

const BatteryScale &Battery()
{
    return g_scale;
}

void ConfigureBattery(int argc, char **argv)
{
    bool isLong = IsSet("QEL_RELIABILITY_LONG");
    uint32_t seed = kDefaultSeed;
    if (const char *value = std::getenv("QEL_RELIABILITY_SEED"))
        seed = static_cast<uint32_t>(std::strtoul(value, nullptr, 0));
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--long") == 0)
            isLong = true;
        else if (std::strncmp(argv[i], "--seed=", 7) == 0)
            seed = static_cast<uint32_t>(std::strtoul(argv[i] + 7, nullptr, 0));
    }
    g_scale = isLong ? LongScale() : ShortScale();
    g_scale.seed = seed;
    std::printf("reliability battery: %s run, seed %u (replay with --seed=%u%s)\n", isLong ? "long" : "short", seed,
                seed, isLong ? " --long" : "");
    std::fflush(stdout);
}

std::mt19937 MakeGenerator(const char *salt)
{
    const uint32_t mixed = g_scale.seed ^ HashSalt(salt);
    std::printf("[seed] %s: battery seed %u, stream %u\n", salt, g_scale.seed, mixed);
    std::fflush(stdout);
    return std::mt19937(mixed);
}

void ReportFigure(const std::string &name, const std::string &value)
{
    std::printf("[figure] %s: %s\n", name.c_str(), value.c_str());
    std::fflush(stdout);
    ::testing::Test::RecordProperty(name, value);
}
