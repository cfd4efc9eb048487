// The interface texts: complete in both languages, exact to the letter, and chosen by the
// system's language.
#include "ScopedEnv.h"
#include "Strings.h"

#include <gtest/gtest.h>
#include <optional>

namespace
{

// The locale variables of one test: LANG and optionally LC_MESSAGES, nothing else set.
class LocaleScope
{
public:
    explicit LocaleScope(const char *lang, const char *messages = nullptr)
    {
        env_.Unset("LC_ALL");
        env_.Unset("LC_MESSAGES");
        env_.Unset("LANG");
        if (lang)
            env_.Set("LANG", lang);
        if (messages)
            env_.Set("LC_MESSAGES", messages);
    }

private:
    ScopedEnv env_;
};

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
    const auto en = [](int id) { return LoadResString(id, InterfaceLanguage::English); };
    EXPECT_EQ(en(101), QStringLiteral("Korvex"));
    EXPECT_EQ(en(109), QStringLiteral("Save Changes ?"));
    EXPECT_EQ(en(177), QStringLiteral("Computer Name: "));
    EXPECT_EQ(en(179), QStringLiteral("Windows Started - "));
    EXPECT_EQ(en(214), QStringLiteral("Removes the \"For Netscape Users\" menu item"));
    EXPECT_EQ(en(113), QStringLiteral("If you check this option, then you can see message before LogOn "
                                      "Windows.\r\n(Family logon only)\r\n"));
    EXPECT_EQ(LoadResString(101, InterfaceLanguage::Russian), QStringLiteral("Korvex"));
    EXPECT_EQ(LoadResString(177, InterfaceLanguage::Russian), QStringLiteral("Имя копьютера: "));
    EXPECT_TRUE(LoadResString(451, InterfaceLanguage::Russian).contains(QStringLiteral("%s")));
}

TEST(InterfaceStrings, LanguageFollowsTheSystem)
{
    {
        LocaleScope russian("ru_RU.UTF-8");
        EXPECT_EQ(LoadResString(102), QStringLiteral("Система"));
    }
    {
        LocaleScope english("en_US.UTF-8");
        EXPECT_EQ(LoadResString(102), QStringLiteral("System"));
    }
    {
        LocaleScope messagesWin("de_DE.UTF-8", "ru_RU.UTF-8");
        EXPECT_EQ(UserInterfaceLanguage(), InterfaceLanguage::Russian);
    }
    {
        LocaleScope none(nullptr);
        EXPECT_EQ(UserInterfaceLanguage(), InterfaceLanguage::English);
    }
}

} // namespace
