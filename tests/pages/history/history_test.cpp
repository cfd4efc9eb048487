// The History page: changes made through the pages are listed, undone (asking when something
// else changed them since) and exported as a .reg file that Wine's regedit imports; the save
// question warns when a save switches on a restriction that blocks the way back.
#include "PageTest.h"
#include "RegExport.h"
#include "Strings.h"
#include "journal.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTableView>
#include <filesystem>

namespace
{

namespace fs = std::filesystem;

constexpr const char *kExplorerPolicies = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
constexpr int kNoRunBox = 3;
constexpr int kNoFindBox = 6;

constexpr const char *kExportKey = "Software\\KorvexExport";
constexpr const char *kMultiLine = "First line\r\nSecond line";
constexpr const char *kInjection = "Open]\r\n[-HKEY_CURRENT_USER\\Software\\KorvexExport\\Victim]\r\n\"";

class HistoryPage : public PageTest
{
protected:
    static void SetUpTestSuite() { journal::Install(); }

    // The state both machines start from, and the changes whose export carries them over.
    static void MakeStartingState()
    {
        const journal::Pause setUp;
        PutString(HKEY_CURRENT_USER, kExportKey, "Gone", "old");
        PutDword(HKEY_CURRENT_USER, std::string(kExportKey) + "\\Victim", "Kept", 1);
        PutDword(HKEY_CURRENT_USER, std::string(kExportKey) + "\\Doomed\\Inner", "X", 1);
    }

    static void MakeChanges()
    {
        PutDword(HKEY_CURRENT_USER, kExportKey, "Number", 0x12345678);
        PutString(HKEY_CURRENT_USER, kExportKey, "Russian", "Привет, Ёжик");
        // Line breaks in a text, a value name and a key name, each trying to delete a key on import.
        PutString(HKEY_CURRENT_USER, kExportKey, "LegalNoticeText", kMultiLine);
        PutString(HKEY_CURRENT_USER, kExportKey, "Injected", kInjection);
        PutString(HKEY_CURRENT_USER, kExportKey, kInjection, "x");
        PutDword(HKEY_CURRENT_USER, std::string(kExportKey) + "\\" + kInjection, "X", 1);
        const char binary[] = {'\x00', '\x01', '\xfe', '\xff'};
        Put(HKEY_CURRENT_USER, kExportKey, "Binary", REG_BINARY, binary, sizeof binary);
        const char expand[] = "%SystemRoot%\\x";
        Put(HKEY_CURRENT_USER, kExportKey, "Expand", REG_EXPAND_SZ, expand, sizeof expand);
        win::HKEY key = nullptr;
        ASSERT_EQ(win::RegOpenKeyExA(HKEY_CURRENT_USER, kExportKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
        EXPECT_EQ(win::RegDeleteValueA(key, "Gone"), ERROR_SUCCESS);
        EXPECT_EQ(win::RegDeleteKeyA(key, "Doomed"), ERROR_SUCCESS);
        win::RegCloseKey(key);
    }

    static QTableView &List() { return Current<QTableView>("lstHist"); }

    // A row of the log as read across its columns.
    static QString RowText(int row)
    {
        QStringList cells;
        for (int column = 0; column < List().model()->columnCount(); ++column)
            cells << List().model()->index(row, column).data().toString();
        return cells.join(QLatin1Char('|'));
    }

    // Opens every save's row that is closed to the changes it holds.
    static void OpenAll()
    {
        for (int row = List().model()->rowCount() - 1; row >= 0; --row)
            if (const QModelIndex index = List().model()->index(row, 0); index.data().toString().startsWith(u'\u25B8'))
                emit List().activated(index);
    }

    // The first row (newest first) that mentions `text`, all rows open; -1 when none does.
    static int RowMentioning(const QString &text)
    {
        OpenAll();
        for (int row = 0; row < List().model()->rowCount(); ++row)
            if (RowText(row).contains(text))
                return row;
        return -1;
    }

    static void SelectRow(int row) { List().selectRow(row); }

    // The caption the Start Menu page shows for a box.
    QString StartMenuCaption(int box)
    {
        Open("StartMenu");
        return Current<QCheckBox>(("chk_" + std::to_string(box)).c_str()).text();
    }

    // Ticks a box of the Start Menu page and saves on leaving; returns the save question.
    QString SaveStartMenuBox(int box)
    {
        Open("StartMenu");
        Current<QCheckBox>(("chk_" + std::to_string(box)).c_str()).click();
        const Boxes seen = Leave({Yes});
        return seen.empty() ? QString() : seen.front().text;
    }
};

TEST_F(HistoryPage, APageChangeIsListedInTheUsersLanguageAndUndone)
{
    UseRussian();
    const QString noRun = StartMenuCaption(kNoRunBox);
    SaveStartMenuBox(kNoRunBox);
    ASSERT_EQ(StoredDword(HKEY_CURRENT_USER, kExplorerPolicies, "NoRun"), 1u);
    Open("History");
    const int row = RowMentioning(noRun);
    ASSERT_GE(row, 0);
    const QString listed = RowText(row);
    EXPECT_TRUE(listed.contains(LoadResString(116)) && listed.contains(QStringLiteral("не было")))
        << "the page's caption and the state before: " << listed.toStdString();
    EXPECT_TRUE(List()
                    .model()
                    ->index(row, 0)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .endsWith(QString::fromLatin1(kExplorerPolicies) + QStringLiteral(" \"NoRun\"")));
    SelectRow(row);
    EXPECT_TRUE(Click("cmdUndo").empty());
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kExplorerPolicies, "NoRun"), std::nullopt);
    EXPECT_TRUE(RowText(RowMentioning(noRun)).contains(LoadResString(1009).arg(QString())))
        << "the undo is listed first";
}

// Every page of switches names a switch by its box's caption; the logon message's title is
// named by its label, and the clock's morning text by its own.
TEST_F(HistoryPage, ASettingIsNamedByTheCaptionOfItsControl)
{
    for (const PageRow &page : AllPages()) {
        auto *box = page.settingCaption ? Open(page.key).findChild<QCheckBox *>(QStringLiteral("chk_0")) : nullptr;
        if (!box)
            continue;
        const QString caption = box->text();
        box->click();
        Leave({Yes});
        Open("History");
        EXPECT_GE(RowMentioning(caption), 0) << page.key;
    }
    Open("StartUp");
    Current<QCheckBox>("chkYN").click();
    Current<QLineEdit>("txtTitle").setText(QStringLiteral("Welcome"));
    const QString title = Current<QLabel>("lblTitle").text();
    Leave({Yes});
    Open("Clock");
    Current<QLineEdit>("txtAM").setText(QStringLiteral("am"));
    const QString morning = Current<QLabel>("lblAM").text();
    Click("cmdAP", {Yes});
    Open("History");
    for (const QString &caption : {title, morning})
        EXPECT_GE(RowMentioning(QLatin1Char('|') + caption + QLatin1Char('|')), 0) << caption.toStdString();
}

// One save is one row that opens to its changes; a switch written as 0 where there was none is
// marked as making no difference; with nothing to show the page says so and its buttons rest.
TEST_F(HistoryPage, ASaveIsOneRowThatOpensToItsChanges)
{
    Open("History");
    EXPECT_FALSE(Current<QLabel>("lblEmpty").isHidden());
    for (const char *button : {"cmdUndo", "cmdUndoTo", "cmdUndoAll", "cmdExport"})
        EXPECT_FALSE(Current<QPushButton>(button).isEnabled()) << button;

    const QString ticked[] = {StartMenuCaption(kNoRunBox), StartMenuCaption(kNoFindBox)};
    Current<QCheckBox>(("chk_" + std::to_string(kNoRunBox)).c_str()).click();
    Current<QCheckBox>(("chk_" + std::to_string(kNoFindBox)).c_str()).click();
    Leave({Yes});
    Open("History");
    ASSERT_EQ(List().model()->rowCount(), 1) << RowText(0).toStdString();
    EXPECT_TRUE(RowText(0).contains(LoadResString(116))) << RowText(0).toStdString();
    emit List().activated(List().model()->index(0, 0));
    ASSERT_GT(List().model()->rowCount(), 2);
    int unseen = 0;
    for (int row = 1; row < List().model()->rowCount(); ++row) {
        const QString text = RowText(row);
        const bool isTicked = text.contains(ticked[0]) || text.contains(ticked[1]);
        EXPECT_EQ(text.contains(LoadResString(1036)), !isTicked && text.endsWith(QStringLiteral("|0")))
            << text.toStdString();
        unseen += text.contains(LoadResString(1036)) ? 1 : 0;
    }
    EXPECT_GT(unseen, 0) << "the switches left alone were written as 0 where there were none";
    SelectRow(0);
    EXPECT_TRUE(Click("cmdUndo").empty());
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kExplorerPolicies, "NoRun"), std::nullopt);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kExplorerPolicies, "NoFind"), std::nullopt);
}

TEST_F(HistoryPage, UndoOfAChangeMadeOverSinceAsksAndShowsBoth)
{
    const QString noRun = StartMenuCaption(kNoRunBox);
    SaveStartMenuBox(kNoRunBox);
    {
        const journal::Pause anotherProgram;
        PutDword(HKEY_CURRENT_USER, kExplorerPolicies, "NoRun", 5);
    }
    Open("History");
    SelectRow(RowMentioning(noRun));
    Boxes asked = Click("cmdUndo", {No});
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].text.contains(QStringLiteral("Now: 5")) &&
                asked[0].text.contains(QStringLiteral("Korvex wrote: 1")))
        << asked[0].text.toStdString();
    EXPECT_EQ(StoredDword(HKEY_CURRENT_USER, kExplorerPolicies, "NoRun"), 5u);

    SelectRow(RowMentioning(noRun));
    asked = Click("cmdUndo", {Yes});
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kExplorerPolicies, "NoRun"), std::nullopt);
}

TEST_F(HistoryPage, SavingARestrictionThatBlocksTheWayBackSaysSoAndUndoAllTakesEveryChangeBack)
{
    UseSeed();
    const auto noRun = Stored(HKEY_CURRENT_USER, kExplorerPolicies, "NoRun");
    const auto noFind = Stored(HKEY_CURRENT_USER, kExplorerPolicies, "NoFind");
    const std::pair<int, bool> cases[] = {{kNoRunBox, true}, {kNoFindBox, false}};
    for (const auto &[box, warns] : cases) {
        const QString question = SaveStartMenuBox(box);
        EXPECT_EQ(question.contains(LoadResString(1000)), warns) << box << ": " << question.toStdString();
        EXPECT_TRUE(question.startsWith(LoadResString(109))) << question.toStdString();
    }
    // A restriction already on is no news: unticking and saving another box asks plainly.
    EXPECT_EQ(SaveStartMenuBox(0), LoadResString(109));

    Open("History");
    EXPECT_TRUE(Click("cmdUndoAll").empty());
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kExplorerPolicies, "NoRun"), noRun);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kExplorerPolicies, "NoFind"), noFind);
    // Undoing everything again finds nothing left to undo.
    const std::size_t count = journal::Records().size();
    Click("cmdUndoAll");
    EXPECT_EQ(journal::Records().size(), count);
}

TEST_F(HistoryPage, AnExportPathThatCannotBeWrittenIsReported)
{
    SaveStartMenuBox(kNoRunBox);
    Open("History");
    const QString target = QString::fromStdString(machine_.Folder() + "/no such folder/out.reg");
    const ModalWatcher chooser([&target](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog)
            return;
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(target);
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Save)->click();
    });
    const Boxes seen = Click("cmdExport", {Ok});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].text.startsWith(LoadResString(1012))) << seen[0].text.toStdString();
}

// The 32-bit view's classes are the 32-bit registry editor's own HKEY_CLASSES_ROOT.
TEST(RegExport, KeysOfThe32BitClassesAreNamedAsTheir32BitEditorNamesThem)
{
    journal::Record created;
    created.kind = journal::Kind::KeyCreated;
    created.target = "HKEY_CLASSES_ROOT\\Wow6432Node\\.kvx";
    const QByteArray exported = RegExportBytes({created}, AnsiCodePage::Western1252);
    EXPECT_TRUE(exported.contains("\r\n[HKEY_CLASSES_ROOT\\.kvx]\r\n")) << exported.toStdString();
}

// ---- Export imported by Wine's regedit -----------------------------------------------------------

bool RunWine(const std::string &prefix, const QStringList &args, const char *program = "/usr/lib/wine/wine64")
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("WINEPREFIX", QString::fromStdString(prefix));
    env.insert("WINEDEBUG", "-all");
    env.insert("WINEDLLOVERRIDES", "mscoree,mshtml=");
    env.insert("LC_ALL", "ru_RU.UTF-8"); // Wine's ANSI code page is then 1251
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QString::fromLatin1(program), args);
    return process.waitForFinished(120'000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

TEST_F(HistoryPage, AnExportImportedByWineRegeditGivesTheSameValues)
{
    const char *wineTemplate = std::getenv("KORVEX_WINE_TEMPLATE");
    if (!wineTemplate || !*wineTemplate || !fs::exists(fs::path(wineTemplate) / "system.reg"))
        GTEST_SKIP() << "Wine is not installed, or the test ran outside ctest's WinePrefix fixture";
    MakeStartingState();
    MakeChanges();
    const QByteArray exported = RegExportBytes(journal::Records(), AnsiCodePage::Cyrillic1251);
    ASSERT_TRUE(exported.startsWith("REGEDIT4\r\n"));
    machine_.WriteFile("export.reg", exported.toStdString());
    const std::string file = machine_.PathOf("export.reg");

    TempMachine fresh(wineTemplate);
    MakeStartingState();
    ASSERT_TRUE(RunWine(fresh.Folder(), {"regedit", "/s", QString::fromStdString(file)}));
    ASSERT_TRUE(RunWine(fresh.Folder(), {"-w"}, "wineserver"));
    win::ResetMachine();

    EXPECT_EQ(StoredDword(HKEY_CURRENT_USER, kExportKey, "Number"), 0x12345678u);
    EXPECT_EQ(StoredString(HKEY_CURRENT_USER, kExportKey, "Russian"), "Привет, Ёжик");
    const auto binary = Stored(HKEY_CURRENT_USER, kExportKey, "Binary");
    ASSERT_TRUE(binary.has_value());
    EXPECT_EQ(binary->type, static_cast<win::DWORD>(REG_BINARY));
    EXPECT_EQ(binary->data, QByteArray("\x00\x01\xfe\xff", 4));
    const auto expand = Stored(HKEY_CURRENT_USER, kExportKey, "Expand");
    ASSERT_TRUE(expand.has_value());
    EXPECT_EQ(expand->type, static_cast<win::DWORD>(REG_EXPAND_SZ));
    EXPECT_TRUE(expand->data.startsWith("%SystemRoot%\\x"));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, kExportKey, "Gone"), std::nullopt);
    win::HKEY doomed = nullptr;
    EXPECT_EQ(win::RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\KorvexExport\\Doomed", 0, KEY_READ, &doomed),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(StoredString(HKEY_CURRENT_USER, kExportKey, "LegalNoticeText"), kMultiLine);
    EXPECT_EQ(StoredString(HKEY_CURRENT_USER, kExportKey, "Injected"), kInjection);
    EXPECT_EQ(StoredDword(HKEY_CURRENT_USER, std::string(kExportKey) + "\\Victim", "Kept"), 1u)
        << "a line break in a name deleted a key";
    EXPECT_EQ(exported.count("; left out, a name holds a line break: "), 3) << exported.toStdString();
}

} // namespace
