// The pages' registry layer: what it reads back as text, what it stores, and that it closes
// every key it opens, on a fresh machine folder per test.
#include "Reg.h"
#include "StoredValue.h"
#include "TempMachine.h"
#include "machine.h"

#include <QListWidget>
#include <gtest/gtest.h>

namespace
{

constexpr QLatin1String kKey("Software\\KorvexReg");

class RegLayer : public ::testing::Test
{
protected:
    void SetUp() override { handlesBefore_ = win::OpenHandleCount(); }
    void TearDown() override { EXPECT_EQ(win::OpenHandleCount(), handlesBefore_) << "a key was left open"; }

    static void Put(const char *name, win::DWORD type, const QByteArray &bytes)
    {
        ASSERT_EQ(WriteStoredValue(HKEY_CURRENT_USER, kKey, name, type, bytes), ERROR_SUCCESS);
    }

    TempMachine machine_;
    std::size_t handlesBefore_ = 0;
};

TEST_F(RegLayer, ValuesReadBackAsTheTextThePagesExpect)
{
    const struct {
        win::DWORD type;
        QByteArray stored;
        bool ok;
        QString text; // "mine" is the caller's text, left alone
    } cases[] = {
        {REG_DWORD, QByteArray("\x01\x01\x00\x00", 4), true, QStringLiteral("1")}, // 257: the lowest byte
        {REG_DWORD, QByteArray("\x2c\x01\x00\x00", 4), true, QStringLiteral("44")},
        {REG_DWORD, QByteArray("\xff\xff\xff\xff", 4), true, QStringLiteral("255")},
        {REG_SZ, QByteArray("abc", 4), true, QStringLiteral("abc")},
        {REG_SZ, QStringLiteral("Сообщение \"дня\"").toUtf8() + '\0', true, QStringLiteral("Сообщение \"дня\"")},
        {REG_SZ, QByteArray("whole", 5), true, QStringLiteral("whole")}, // stored without a terminator
        {REG_SZ, QByteArray(1, '\0'), true, QString()},
        {REG_BINARY, QByteArray(4, '\0'), true, QString(3, QChar(0))}, // the last zero goes like a terminator
        {REG_BINARY, QByteArray("\xd0\xaf \xff", 4), true, QString::fromLatin1("\xd0\xaf \xff", 4)},
        {REG_BINARY, QByteArray(1024, 'b'), true, QString(1024, QLatin1Char('b'))},
        {REG_BINARY, QByteArray(1025, 'b'), false, QString()}, // longer than the reading buffer
        {REG_EXPAND_SZ, QByteArray("%WINDIR%", 9), true, QStringLiteral("mine")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stored.left(16).toHex(' ').toStdString());
        Put("v", c.type, c.stored);
        QString out = QStringLiteral("mine");
        EXPECT_EQ(Reg::GetValue(HKEY_CURRENT_USER, kKey, QStringLiteral("v"), out), c.ok);
        EXPECT_EQ(out, c.text);
    }
    QString out = QStringLiteral("x");
    EXPECT_FALSE(Reg::GetValue(HKEY_CURRENT_USER, kKey, QStringLiteral("missing"), out));
    EXPECT_TRUE(out.isEmpty());
    out = QStringLiteral("x");
    EXPECT_FALSE(Reg::GetValue(HKEY_CURRENT_USER, QStringLiteral("Software\\Nowhere"), QString(), out));
    EXPECT_TRUE(out.isEmpty());
}

TEST_F(RegLayer, WritesStoreTheirTypeCreateTheKeyPathReplaceOtherTypesAndReportFailure)
{
    const QString deep = kKey + QStringLiteral("\\A\\B\\C");
    ASSERT_TRUE(Reg::SetString(HKEY_CURRENT_USER, deep, QStringLiteral("v"), QStringLiteral("1")));
    ASSERT_TRUE(Reg::SetDword(HKEY_CURRENT_USER, deep, QStringLiteral("v"), -1));
    EXPECT_EQ(ReadStoredValue(HKEY_CURRENT_USER, deep, "v")->type, static_cast<win::DWORD>(REG_DWORD));
    EXPECT_EQ(ReadStoredValue(HKEY_CURRENT_USER, deep, "v")->data, QByteArray("\xff\xff\xff\xff", 4));
    ASSERT_TRUE(Reg::SetBinary(HKEY_CURRENT_USER, kKey, QStringLiteral("b"), QByteArray(4, '\0')));
    EXPECT_EQ(ReadStoredValue(HKEY_CURRENT_USER, kKey, "b")->type, static_cast<win::DWORD>(REG_BINARY));
    ASSERT_TRUE(Reg::SetString(HKEY_CURRENT_USER, kKey, QStringLiteral("s"), QStringLiteral("abc")));
    EXPECT_EQ(ReadStoredValue(HKEY_CURRENT_USER, kKey, "s")->data, QByteArray("abc", 4));

    // Under HKEY_USERS only the users' own hives exist; nothing else can be made there.
    EXPECT_FALSE(Reg::SetDword(HKEY_USERS, QStringLiteral("Nobody\\Software"), QStringLiteral("v"), 1));
    EXPECT_FALSE(Reg::DeleteValue(HKEY_USERS, QStringLiteral("Nobody"), QStringLiteral("v")));
    EXPECT_TRUE(Reg::SetDword(HKEY_USERS, QStringLiteral(".DEFAULT\\Software\\Korvex"), QStringLiteral("v"), 1));
}

TEST_F(RegLayer, DeletingFromAMissingKeyCreatesItAndFailsAndListingReplacesTheEntries)
{
    const QString fresh = kKey + QStringLiteral("\\Fresh");
    EXPECT_FALSE(Reg::DeleteValue(HKEY_CURRENT_USER, fresh, QStringLiteral("nothing")));
    QStringList keys;
    EXPECT_TRUE(Reg::ListSubKeys(keys, HKEY_CURRENT_USER, kKey));
    EXPECT_EQ(keys, QStringList{QStringLiteral("Fresh")});

    ASSERT_TRUE(Reg::SetDword(HKEY_CURRENT_USER, fresh, QStringLiteral("v"), 1));
    EXPECT_TRUE(Reg::DeleteValue(HKEY_CURRENT_USER, fresh, QStringLiteral("V")));
    EXPECT_FALSE(ReadStoredValue(HKEY_CURRENT_USER, fresh, "v"));

    // Listing into a list box replaces what it showed.
    for (const char *name : {"Zeta", "alpha", "Мир"})
        ASSERT_TRUE(Reg::SetDword(HKEY_CURRENT_USER, fresh + "\\" + QString::fromUtf8(name), QStringLiteral("v"), 1));
    QListWidget list;
    const auto shown = [&list] {
        QStringList texts;
        for (int i = 0; i < list.count(); ++i)
            texts << list.item(i)->text();
        return texts;
    };
    const struct {
        QString key;
        bool ok;
        QStringList entries;
    } cases[] = {
        {fresh, true, {QStringLiteral("alpha"), QStringLiteral("Zeta"), QStringLiteral("Мир")}},
        {fresh + QStringLiteral("\\alpha"), true, {}}, // a key without subkeys empties the list
        {QStringLiteral("Software\\Nowhere"), false, {}},
    };
    for (const auto &c : cases) {
        list.addItem(QStringLiteral("stale"));
        EXPECT_EQ(Reg::ListSubKeys(list, HKEY_CURRENT_USER, c.key), c.ok) << c.key.toStdString();
        EXPECT_EQ(shown(), c.entries) << c.key.toStdString();
    }
}

} // namespace
