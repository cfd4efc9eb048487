// The interface texts: complete in both languages, exact to the letter, and chosen by the
// system's language.
#include "ScopedEnv.h"
#include "Strings.h"

#include <gtest/gtest.h>

namespace
{

TEST(InterfaceStrings, EveryIdExistsInBothLanguages)
{
    EXPECT_EQ(ResStringCount(InterfaceLanguage::English), ResStringCount(InterfaceLanguage::Russian));
    EXPECT_GE(ResStringCount(InterfaceLanguage::English), 246);
    for (int id = 101; id <= 1299; ++id) {
        const bool english = !LoadResString(id, InterfaceLanguage::English).isEmpty();
        const bool russian = !LoadResString(id, InterfaceLanguage::Russian).isEmpty();
        EXPECT_EQ(english, russian) << id;
    }
}

TEST(InterfaceStrings, TextsKeepBlanksQuotesAndLineBreaks)
{
    // Trailing blanks are checked where the pages show the texts (About, the save question).
    const auto en = [](int id) { return LoadResString(id, InterfaceLanguage::English); };
    EXPECT_EQ(en(214), QStringLiteral("Removes the \"For Netscape Users\" menu item"));
    EXPECT_EQ(en(113), QStringLiteral("If you check this option, then you can see message before LogOn "
                                      "Windows.\r\n(Family logon only)\r\n"));
    EXPECT_EQ(LoadResString(177, InterfaceLanguage::Russian), QStringLiteral("Имя копьютера: "));
    EXPECT_TRUE(LoadResString(451, InterfaceLanguage::Russian).contains(QStringLiteral("%s")));
}

TEST(InterfaceStrings, LanguageFollowsTheSystem)
{
    const struct {
        const char *lang;
        const char *messages;
        InterfaceLanguage expected;
    } cases[] = {
        {"ru_RU.UTF-8", nullptr, InterfaceLanguage::Russian},
        {"en_US.UTF-8", nullptr, InterfaceLanguage::English},
        {"de_DE.UTF-8", "ru_RU.UTF-8", InterfaceLanguage::Russian}, // the messages' language wins
        {nullptr, nullptr, InterfaceLanguage::English},
    };
    for (const auto &c : cases) {
        ScopedEnv env;
        env.Unset("LC_ALL");
        env.Unset("LC_MESSAGES");
        env.Unset("LANG");
        if (c.lang)
            env.Set("LANG", c.lang);
        if (c.messages)
            env.Set("LC_MESSAGES", c.messages);
        EXPECT_EQ(UserInterfaceLanguage(), c.expected) << (c.lang ? c.lang : "no LANG");
        EXPECT_EQ(LoadResString(102), LoadResString(102, c.expected));
    }
}

} // namespace
