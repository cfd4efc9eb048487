// The interface texts: complete in both languages, exact to the letter, and chosen by the
// system's language.
#include "Strings.h"

#include <gtest/gtest.h>
#include <optional>

namespace
{

// Sets the locale variables for one test and puts them back afterwards.
class LocaleScope
{
public:
    LocaleScope(const char *lang, const char *messages = nullptr)
    {
        for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char *old = std::getenv(name);
            saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            unsetenv(name);
        }
        if (lang)
            setenv("LANG", lang, 1);
        if (messages)
            setenv("LC_MESSAGES", messages, 1);
    }
    ~LocaleScope()
    {
        for (const auto &[name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(InterfaceStrings, EveryIdExistsInBothLanguages)
{
    EXPECT_EQ(ResStringCount(InterfaceLanguage::English), 246);
    EXPECT_EQ(ResStringCount(InterfaceLanguage::Russian), 246);
    for (int id = 101; id <= 469; ++id) {
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
