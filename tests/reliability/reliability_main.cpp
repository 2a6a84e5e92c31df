// The battery's own main: GoogleTest's flags first, then the battery's (--long, --seed=n).
#include <gtest/gtest.h>

#include "battery.h"

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ConfigureBattery(argc, argv);
    return RUN_ALL_TESTS();
}
