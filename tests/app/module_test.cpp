// The shared layer under the pages: the save question answered in the real message box, the
// system texts, icons drawn from a file, the file dialogs driven like a user would, the registry
// layer (what it reads back as text, what it stores, that it closes every key it opens) and the
// interface texts, complete in both languages and chosen by the system's language.
#include "DialogBox.h"
#include "MessageBoxes.h"
#include "Module.h"
#include "Reg.h"
#include "ScopedEnv.h"
#include "StoredValue.h"
#include "Strings.h"
#include "TempMachine.h"
#include "machine.h"
#include "win32.h"

#include <QBuffer>
#include <QFileDialog>
#include <QImageWriter>
#include <QLabel>
#include <QListWidget>
#include <QtEndian>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

using Boxes = MessageBoxAnswerer;

// Every routine closes the keys it opens.
class Shared : public ::testing::Test
{
protected:
    void SetUp() override
    {
        env_.SetLanguage("en_US.UTF-8");
        handlesBefore_ = win::OpenHandleCount();
    }
    void TearDown() override { EXPECT_EQ(win::OpenHandleCount(), handlesBefore_) << "a key was left open"; }

    ScopedEnv env_;
    TempMachine machine_;
    std::size_t handlesBefore_ = 0;
};

// ---- The save question ---------------------------------------------------------------------

// Answering No drops the page's edits, so only a deliberate answer closes the question: Escape and
// the title bar's close button leave it open.
TEST_F(Shared, SaveQuestionAsksThePromptUnderTheSharedTitleAndCannotBeEscaped)
{
    // "None" stands for the shared question; any other prompt, even "None ", is asked as it is.
    // Enter takes the default, Yes.
    const struct {
        const char *prompt;
        Boxes::Answer answer;
        const char *text;
    } cases[] = {
        {"None", Boxes::Click(QMessageBox::No), "Save Changes ?"},
        {"None ", Boxes::Click(QMessageBox::Yes), "None "},
        {"None", Boxes::Enter(), "Save Changes ?"},
        {"None", Boxes::EscapeThenClick(QMessageBox::Yes), "Save Changes ?"},
        {"None", Boxes::EscapeThenClick(QMessageBox::No), "Save Changes ?"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.prompt);
        Boxes boxes({c.answer});
        EXPECT_EQ(Module::AskSaveChanges(QString::fromUtf8(c.prompt)), c.answer.button != QMessageBox::No);
        ASSERT_EQ(boxes.Seen().size(), 1u);
        const Boxes::Shown &box = boxes.Seen()[0];
        EXPECT_EQ(box.text, QString::fromUtf8(c.text));
        EXPECT_EQ(box.title, QStringLiteral("Saving..."));
        EXPECT_EQ(box.icon, QMessageBox::Question);
        EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_FALSE(box.escaped);
    }
}

// ---- System texts --------------------------------------------------------------------------

TEST_F(Shared, TheComputerNameIsThePlatformsDecodedFromUtf8)
{
    ASSERT_EQ(WriteStoredValue(HKEY_LOCAL_MACHINE,
                               QStringLiteral("System\\CurrentControlSet\\Control\\ComputerName\\ComputerName"),
                               "ComputerName", REG_SZ, QByteArray("SKÅNE-PC") + '\0'),
              ERROR_SUCCESS);
    EXPECT_EQ(Module::ComputerName(), QStringLiteral("SKÅNE-PC"));
}

// ---- Icons drawn from a file ---------------------------------------------------------------

// An .ico file with one opaque square image of each side, in the given order: the images Qt
// writes one per file, joined under one directory.
std::string IcoOf(const std::vector<int> &sides)
{
    const auto count = static_cast<qsizetype>(sides.size());
    QByteArray directory("\0\0\1\0", 4), images;
    directory += static_cast<char>(count), directory += '\0';
    for (const int side : sides) {
        QImage image(side, side, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QBuffer one;
        one.open(QIODevice::WriteOnly);
        EXPECT_TRUE(QImageWriter(&one, "ico").write(image));
        QByteArray entry = one.data().mid(6, 16); // its image's offset is rewritten for the joined file
        qToLittleEndian(static_cast<quint32>(6 + 16 * count + images.size()), entry.data() + 12);
        directory += entry;
        images += one.data().mid(22);
    }
    return (directory + images).toStdString();
}

TEST_F(Shared, DrawFileIconDrawsTheLargeImageAndOnlyCountsOtherIndexes)
{
    machine_.WriteFile("drive_c/icons/three.ico", IcoOf({16, 32, 48}));
    machine_.WriteFile("drive_c/icons/nolarge.ico", IcoOf({16, 48}));
    machine_.WriteFile("drive_c/icons/plain.txt", "not an icon");
    const QString nolargeOnHost = QString::fromStdString(machine_.PathOf("drive_c/icons/nolarge.ico"));
    const struct {
        QString file;
        int index;
        int count;
        int side; // of the picture drawn, 0 for none
    } cases[] = {
        {QStringLiteral("C:\\icons\\three.ico"), 0, 1, 32},
        {nolargeOnHost, 0, 1, 48}, // without a 32x32 image the largest; a host path works too
        {QStringLiteral("C:\\icons\\three.ico"), 1, 1, 0},
        {QStringLiteral("C:\\icons\\plain.txt"), 0, 0, 0},
        {QStringLiteral("C:\\icons\\missing.ico"), 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file.toStdString() + " " + std::to_string(c.index));
        QLabel target;
        EXPECT_EQ(Module::DrawFileIcon(c.file, c.index, &target), c.count);
        EXPECT_EQ(target.pixmap().width(), c.side);
    }
}

// ---- File dialogs --------------------------------------------------------------------------

TEST_F(Shared, DialogTextsBecomeQtFiltersAndWindowsNamesThatFitTheBuffer)
{
    const std::pair<const char *, const char *> filters[] = {
        {"All Pictures|*.bmp;*.jpg;*.jpeg;*.gif", "All Pictures (*.bmp *.jpg *.jpeg *.gif)"},
        // A closing "|" and a description left without patterns add nothing.
        {"Icons|*.ico|", "Icons (*.ico)"},
        {"Icons|*.ico|Orphan", "Icons (*.ico)"},
    };
    for (const auto &[windows, qt] : filters)
        EXPECT_EQ(DialogBox::QtFilter(QString::fromUtf8(windows)), QString::fromUtf8(qt)) << windows;

    const QString driveC = QString::fromStdString(machine_.PathOf("drive_c/"));
    const std::pair<QString, QString> names[] = {
        {QStringLiteral("/opt/b.txt"), QStringLiteral("Z:\\opt\\b.txt")},
        {driveC + QString(260, QLatin1Char('x')), QString()}, // longer than the dialog's buffer
        {QString(), QString()},
    };
    for (const auto &[host, windows] : names)
        EXPECT_EQ(DialogBox::WindowsPathOfChoice(host), windows) << host.toStdString();
}

struct DialogSeen {
    QString title;
    QStringList filters;
    QFileDialog::AcceptMode mode = QFileDialog::AcceptOpen;
};

// The dialogs give the chosen file's Windows name, or nothing when cancelled, and check nothing
// about it: a name that does not exist opens, an existing file is saved over without a question.
TEST_F(Shared, FileDialogsGiveTheChosenFilesWindowsNameOrNothing)
{
    machine_.WriteFile("drive_c/My Icons/disk.ico", "x");
    machine_.WriteFile("drive_c/old.txt", "keep");
    const struct {
        bool save;
        const char *chosen; // under the machine folder, empty to cancel
        const char *expected;
        const char *title;
        const char *filter;
    } cases[] = {
        {false, "", "", "Choose Icon", "Icon Files(*.ico) (*.ico)"},
        {false, "drive_c/My Icons/disk.ico", "C:\\My Icons\\disk.ico", "Open file...", "All Files(*.*) (*.*)"},
        {false, "drive_c/new.txt", "C:\\new.txt", "Open file...", "All Files(*.*) (*.*)"},
        {true, "drive_c/old.txt", "C:\\old.txt", "Save file...", "All Files(*.*) (*.*)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.chosen);
        DialogSeen seen;
        Boxes boxes({Boxes::Click(QMessageBox::Yes)}); // lets an overwrite question show as a failure, not a hang
        const std::string chosen = *c.chosen ? machine_.PathOf(c.chosen) : std::string();
        const ModalWatcher watcher = AnswerFileDialogs(QString::fromStdString(chosen), [&seen](const QFileDialog &d) {
            seen = {d.windowTitle(), d.nameFilters(), d.acceptMode()};
        });
        const QString result = c.save      ? DialogBox().SaveFile(QStringLiteral("ignored.txt"))
                               : *c.chosen ? DialogBox().OpenFile()
                                           : DialogBox().OpenFile(QStringLiteral("Choose Icon"),
                                                                  QStringLiteral("Icon Files(*.ico)|*.ico"));
        EXPECT_EQ(result, QString::fromUtf8(c.expected));
        EXPECT_EQ(watcher.Handled(), 1u);
        EXPECT_EQ(seen.title, QString::fromUtf8(c.title));
        EXPECT_EQ(seen.filters, QStringList{QString::fromUtf8(c.filter)});
        EXPECT_EQ(seen.mode, c.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        EXPECT_TRUE(boxes.Seen().empty()) << "saving over a file asks nothing";
    }
    EXPECT_EQ(machine_.ReadFile("drive_c/old.txt"), "keep");
}

// ---- The registry layer --------------------------------------------------------------------

constexpr QLatin1String kKey("Software\\KorvexReg");

using RegLayer = Shared;

TEST_F(RegLayer, ValuesReadBackAsTheTextThePagesExpect)
{
    const struct {
        win::DWORD type;
        QByteArray stored;
        bool ok;
        QString text; // "mine" is the caller's text, left alone
    } cases[] = {
        {REG_DWORD, QByteArray("\x01\x01\x00\x00", 4), true, QStringLiteral("1")}, // 257: the lowest byte
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
        ASSERT_EQ(WriteStoredValue(HKEY_CURRENT_USER, kKey, "v", c.type, c.stored), ERROR_SUCCESS);
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
    EXPECT_EQ(ReadStoredValue(HKEY_CURRENT_USER, deep, "v"),
              (StoredValue{REG_DWORD, QByteArray("\xff\xff\xff\xff", 4)}));
    ASSERT_TRUE(Reg::SetBinary(HKEY_CURRENT_USER, kKey, QStringLiteral("b"), QByteArray(4, '\0')));
    EXPECT_EQ(ReadStoredValue(HKEY_CURRENT_USER, kKey, "b"), (StoredValue{REG_BINARY, QByteArray(4, '\0')}));
    ASSERT_TRUE(Reg::SetString(HKEY_CURRENT_USER, kKey, QStringLiteral("s"), QStringLiteral("abc")));
    EXPECT_EQ(ReadStoredValue(HKEY_CURRENT_USER, kKey, "s"), (StoredValue{REG_SZ, QByteArray("abc", 4)}));

    // Under HKEY_USERS only the users' own hives exist; nothing else can be made there.
    EXPECT_FALSE(Reg::SetDword(HKEY_USERS, QStringLiteral("Nobody\\Software"), QStringLiteral("v"), 1));
    EXPECT_FALSE(Reg::DeleteValue(HKEY_USERS, QStringLiteral("Nobody"), QStringLiteral("v")));
    EXPECT_TRUE(Reg::SetDword(HKEY_USERS, QStringLiteral(".DEFAULT\\Software\\Korvex"), QStringLiteral("v"), 1));
}

TEST_F(RegLayer, DeletingAMissingValueFailsAndListingReplacesTheEntries)
{
    const QString fresh = kKey + QStringLiteral("\\Fresh");
    EXPECT_FALSE(Reg::DeleteValue(HKEY_CURRENT_USER, fresh, QStringLiteral("nothing")));
    ASSERT_TRUE(Reg::SetDword(HKEY_CURRENT_USER, fresh, QStringLiteral("v"), 1));
    EXPECT_TRUE(Reg::DeleteValue(HKEY_CURRENT_USER, fresh, QStringLiteral("V")));
    EXPECT_FALSE(ReadStoredValue(HKEY_CURRENT_USER, fresh, "v"));

    // Listing into a list box replaces what it showed. Long names are whole and hide nothing
    // after them: 128 Cyrillic letters are 256 bytes of UTF-8, and 255 characters, Windows'
    // longest name, may be 765.
    const QString cyrillic(128, QChar(0x0411));
    const QString longest(255, QChar(0x30A2));
    for (const QString &name :
         {QStringLiteral("Zeta"), QStringLiteral("alpha"), QStringLiteral("Мир"), cyrillic, longest})
        ASSERT_TRUE(Reg::SetDword(HKEY_CURRENT_USER, fresh + "\\" + name, QStringLiteral("v"), 1));
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
        {fresh, true, {QStringLiteral("alpha"), QStringLiteral("Zeta"), cyrillic, QStringLiteral("Мир"), longest}},
        {fresh + QStringLiteral("\\alpha"), true, {}}, // a key without subkeys empties the list
        {QStringLiteral("Software\\Nowhere"), false, {}},
    };
    for (const auto &c : cases) {
        list.addItem(QStringLiteral("stale"));
        EXPECT_EQ(Reg::ListEntries(list, HKEY_CURRENT_USER, c.key), c.ok) << c.key.toStdString();
        EXPECT_EQ(shown(), c.entries) << c.key.toStdString();
    }
}

// ---- Interface texts -----------------------------------------------------------------------

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

TEST(InterfaceStrings, LanguageFollowsTheSystem)
{
    const struct {
        const char *lang;
        const char *messages;
        InterfaceLanguage expected;
    } cases[] = {
        {"ru_RU.UTF-8", nullptr, InterfaceLanguage::Russian},
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
