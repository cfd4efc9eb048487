// The pages' registry layer: what it reads back as text, what it stores, and that it closes
// every key it opens, on a fresh machine folder per test.
#include "Reg.h"
#include "TempMachine.h"
#include "machine.h"

#include <QListWidget>
#include <gtest/gtest.h>

namespace
{

constexpr QLatin1StringView kKey("Software\\KorvexReg");

class RegLayer : public ::testing::Test
{
protected:
    void SetUp() override { handlesBefore_ = win::OpenHandleCount(); }
    void TearDown() override { EXPECT_EQ(win::OpenHandleCount(), handlesBefore_) << "a key was left open"; }

    // The type and raw bytes stored for a value, read through the platform directly.
    static std::pair<win::DWORD, QByteArray> Stored(win::HKEY root, const QString &path, const char *name)
    {
        win::HKEY key = nullptr;
        if (win::RegOpenKeyExA(root, path.toUtf8().constData(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return {REG_NONE, QByteArray()};
        QByteArray data(4096, '\0');
        win::DWORD type = 0;
        auto size = static_cast<win::DWORD>(data.size());
        const win::LONG rc =
            win::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<win::BYTE *>(data.data()), &size);
        win::RegCloseKey(key);
        if (rc != ERROR_SUCCESS)
            return {REG_NONE, QByteArray()};
        data.truncate(size);
        return {type, data};
    }

    static void Put(const char *name, win::DWORD type, const QByteArray &bytes)
    {
        win::HKEY key = nullptr;
        ASSERT_EQ(win::RegCreateKeyExA(HKEY_CURRENT_USER, kKey.latin1(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                       nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(win::RegSetValueExA(key, name, 0, type, reinterpret_cast<const win::BYTE *>(bytes.constData()),
                                      static_cast<win::DWORD>(bytes.size())),
                  ERROR_SUCCESS);
        win::RegCloseKey(key);
    }

    static QString Get(const char *name, bool *ok = nullptr, const QString &initial = QStringLiteral("untouched"))
    {
        QString out = initial;
        const bool result = Reg::GetValue(HKEY_CURRENT_USER, kKey, QString::fromUtf8(name), out);
        if (ok)
            *ok = result;
        return out;
    }

    TempMachine machine_;
    std::size_t handlesBefore_ = 0;
};

TEST_F(RegLayer, DwordsReadAsTheirLowestByte)
{
    const struct {
        qint32 stored;
        const char *text;
    } cases[] = {{1, "1"}, {0, "0"}, {257, "1"}, {300, "44"}, {-1, "255"}};
    for (const auto &c : cases) {
        ASSERT_TRUE(Reg::SetDword(HKEY_CURRENT_USER, kKey, QStringLiteral("d"), c.stored));
        bool ok = false;
        EXPECT_EQ(Get("d", &ok), QString::fromLatin1(c.text)) << c.stored;
        EXPECT_TRUE(ok);
    }
    const auto [type, bytes] = Stored(HKEY_CURRENT_USER, kKey, "d");
    EXPECT_EQ(type, static_cast<win::DWORD>(REG_DWORD));
    EXPECT_EQ(bytes, QByteArray("\xff\xff\xff\xff", 4));
}

TEST_F(RegLayer, StringsLoseOnlyTheirTerminator)
{
    ASSERT_TRUE(Reg::SetString(HKEY_CURRENT_USER, kKey, QStringLiteral("s"), QStringLiteral("abc")));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kKey, "s"), std::make_pair(win::DWORD{REG_SZ}, QByteArray("abc", 4)));
    EXPECT_EQ(Get("s"), QStringLiteral("abc"));

    ASSERT_TRUE(Reg::SetString(HKEY_CURRENT_USER, kKey, QStringLiteral("ru"), QStringLiteral("Сообщение \"дня\"")));
    EXPECT_EQ(Get("ru"), QStringLiteral("Сообщение \"дня\""));

    Put("bare", REG_SZ, QByteArray("whole", 5)); // stored without a terminator
    EXPECT_EQ(Get("bare"), QStringLiteral("whole"));

    ASSERT_TRUE(Reg::SetString(HKEY_CURRENT_USER, kKey, QStringLiteral("empty"), QString()));
    EXPECT_EQ(Get("empty"), QString());
}

TEST_F(RegLayer, BinaryTravelsAsOneCharacterPerByte)
{
    const QByteArray bytes("\x00\x00\x00\x00", 4);
    ASSERT_TRUE(Reg::SetBinary(HKEY_CURRENT_USER, kKey, QStringLiteral("zeros"), bytes));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kKey, "zeros"), std::make_pair(win::DWORD{REG_BINARY}, bytes));
    // The last zero byte goes like a terminator would.
    EXPECT_EQ(Get("zeros"), QString(3, QChar(0)));

    const QByteArray text = QByteArray("Ярлык ").append('\xff');
    ASSERT_TRUE(Reg::SetBinary(HKEY_CURRENT_USER, kKey, QStringLiteral("link"), text));
    const QString out = Get("link");
    ASSERT_EQ(out.size(), text.size());
    EXPECT_EQ(out.toLatin1(), text);
}

TEST_F(RegLayer, OtherTypesLeaveTheCallersTextAndSucceed)
{
    Put("expand", REG_EXPAND_SZ, QByteArray("%WINDIR%", 9));
    bool ok = false;
    EXPECT_EQ(Get("expand", &ok, QStringLiteral("mine")), QStringLiteral("mine"));
    EXPECT_TRUE(ok);
}

TEST_F(RegLayer, ReadFailuresEmptyTheText)
{
    bool ok = true;
    EXPECT_EQ(Get("missing", &ok), QString());
    EXPECT_FALSE(ok);

    QString out = QStringLiteral("x");
    EXPECT_FALSE(Reg::GetValue(HKEY_CURRENT_USER, QStringLiteral("Software\\Nowhere"), QString(), out));
    EXPECT_TRUE(out.isEmpty());

    Put("big", REG_BINARY, QByteArray(1025, 'b'));
    EXPECT_EQ(Get("big", &ok), QString());
    EXPECT_FALSE(ok);
    Put("fits", REG_BINARY, QByteArray(1024, 'b'));
    EXPECT_EQ(Get("fits", &ok).size(), 1024);
    EXPECT_TRUE(ok);
}

TEST_F(RegLayer, WritesCreateTheKeyPathAndReplaceOtherTypes)
{
    const QString deep = QStringLiteral("Software\\KorvexReg\\A\\B\\C");
    ASSERT_TRUE(Reg::SetString(HKEY_CURRENT_USER, deep, QStringLiteral("v"), QStringLiteral("1")));
    ASSERT_TRUE(Reg::SetDword(HKEY_CURRENT_USER, deep, QStringLiteral("v"), 0));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, deep, "v").first, static_cast<win::DWORD>(REG_DWORD));
    ASSERT_TRUE(Reg::SetString(HKEY_LOCAL_MACHINE, QStringLiteral("SYSTEM\\CurrentControlSet\\Control\\Update"),
                               QStringLiteral("x"), QStringLiteral("y")));
    QString out;
    EXPECT_TRUE(Reg::GetValue(HKEY_LOCAL_MACHINE, QStringLiteral("System\\ControlSet001\\Control\\Update"),
                              QStringLiteral("x"), out));
    EXPECT_EQ(out, QStringLiteral("y"));
}

TEST_F(RegLayer, DeletingFromAMissingKeyCreatesItAndFails)
{
    const QString fresh = QStringLiteral("Software\\KorvexReg\\Fresh");
    EXPECT_FALSE(Reg::DeleteValue(HKEY_CURRENT_USER, fresh, QStringLiteral("nothing")));
    QStringList keys;
    EXPECT_TRUE(Reg::ListSubKeys(keys, HKEY_CURRENT_USER, kKey));
    EXPECT_EQ(keys, QStringList{QStringLiteral("Fresh")});

    ASSERT_TRUE(Reg::SetDword(HKEY_CURRENT_USER, fresh, QStringLiteral("v"), 1));
    EXPECT_TRUE(Reg::DeleteValue(HKEY_CURRENT_USER, fresh, QStringLiteral("V")));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, fresh, "v").first, static_cast<win::DWORD>(REG_NONE));
}

TEST_F(RegLayer, ListingReplacesTheEntries)
{
    for (const char *name : {"Zeta", "alpha", "Мир"})
        ASSERT_TRUE(
            Reg::SetDword(HKEY_CURRENT_USER, QString(kKey) + "\\" + QString::fromUtf8(name), QStringLiteral("v"), 1));
    QListWidget list;
    list.addItem(QStringLiteral("stale"));
    EXPECT_TRUE(Reg::ListSubKeys(list, HKEY_CURRENT_USER, kKey));
    QStringList shown;
    for (int i = 0; i < list.count(); ++i)
        shown << list.item(i)->text();
    EXPECT_EQ(shown, (QStringList{QStringLiteral("alpha"), QStringLiteral("Zeta"), QStringLiteral("Мир")}));

    list.addItem(QStringLiteral("stale"));
    EXPECT_TRUE(Reg::ListSubKeys(list, HKEY_CURRENT_USER, kKey + "\\alpha"));
    EXPECT_EQ(list.count(), 0) << "a key without subkeys empties the list";
    list.addItem(QStringLiteral("stale"));
    EXPECT_FALSE(Reg::ListSubKeys(list, HKEY_CURRENT_USER, QStringLiteral("Software\\Nowhere")));
    EXPECT_EQ(list.count(), 0);
}

TEST_F(RegLayer, FailedWritesReportFalse)
{
    // Under HKEY_USERS only the users' own hives exist; nothing else can be made there.
    EXPECT_FALSE(Reg::SetDword(HKEY_USERS, QStringLiteral("Nobody\\Software"), QStringLiteral("v"), 1));
    EXPECT_FALSE(Reg::DeleteValue(HKEY_USERS, QStringLiteral("Nobody"), QStringLiteral("v")));
    EXPECT_TRUE(Reg::SetDword(HKEY_USERS, QStringLiteral(".DEFAULT\\Software\\Korvex"), QStringLiteral("v"), 1));
}

} // namespace
