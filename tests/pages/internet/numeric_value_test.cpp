// The number a text holds, as the tuning page's fields read it, and what may be stored.
#include "NumericValue.h"

#include <gtest/gtest.h>

TEST(NumericValue, ReadsTheLeadingNumberTheWayValDoes)
{
    const struct {
        const char *text;
        double value;
    } cases[] = {
        {"1400", 1400}, {"15x0", 15},        {"007", 7},    {"&H10", 16},  {"&hff", 255},  {"&O17", 15}, {"&H", 0},
        {" 1 2", 12},   {"1\t2\n3", 123},    {"1e3", 1000}, {"2D2", 200},  {"1e", 1},      {"1e+", 1},   {"-5", -5},
        {"+5", 5},      {"- 5", -5},         {"1.5", 1.5},  {".5", 0.5},   {"1.2.3", 1.2}, {"abc", 0},   {"", 0},
        {"-", 0},       {"Default=1500", 0}, {"9e999", 0},  {"12\r3", 12}, {"١٢", 0},      {"0x10", 0},
    };
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(Val(QString::fromUtf8(c.text)), c.value) << c.text;
}

TEST(NumericValue, CanonicalFormAndWhatTheRegistryMayHold)
{
    // (Whole, negative and exponent forms show in the tuning page's test.)
    EXPECT_EQ(CanonicalNumber(1.5), QStringLiteral("1.5"));

    for (const char *text : {"0", "1500", "4294967295"})
        EXPECT_TRUE(IsStorableNumber(QLatin1String(text))) << text;
    for (const char *text : {"", "-40", "1.5", "1E+20", "4294967296", "Default=1460", " 15"})
        EXPECT_FALSE(IsStorableNumber(QLatin1String(text))) << text;
}
