// The shared routines as the pages use them: the save question answered in the real message
// box, the system texts, icons drawn from a file, and the file dialogs driven like a user would.
#include "DialogBox.h"
#include "MessageBoxes.h"
#include "Module.h"
#include "ScopedEnv.h"
#include "StoredValue.h"
#include "TempMachine.h"
#include "machine.h"
#include "win32.h"

#include <QBuffer>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QImageWriter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtEndian>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{

using Boxes = MessageBoxAnswerer;

class Shared : public ::testing::Test
{
protected:
    void SetUp() override { env_.SetLanguage("en_US.UTF-8"); }

    ScopedEnv env_;
    TempMachine machine_;
};

// ---- The save question ---------------------------------------------------------------------

TEST_F(Shared, SaveQuestionAsksThePromptUnderTheSharedTitle)
{
    // "None" stands for the shared question; any other prompt, even "None ", is asked as it is.
    const struct {
        const char *lang;
        const char *prompt;
        Boxes::Answer answer;
        const char *text;
    } cases[] = {
        {"en_US.UTF-8", "None", Boxes::Enter(), "Save Changes ?"},
        {"en_US.UTF-8", "None", Boxes::Click(QMessageBox::No), "Save Changes ?"},
        {"en_US.UTF-8", "None ", Boxes::Click(QMessageBox::Yes), "None "},
        {"ru_RU.UTF-8", "None", Boxes::Enter(), "Сохранить внесенные изменения ?"},
        {"ru_RU.UTF-8", "Заменить значок ?", Boxes::Click(QMessageBox::Yes), "Заменить значок ?"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.lang) + " " + c.prompt);
        env_.SetLanguage(c.lang);
        Boxes boxes({c.answer});
        EXPECT_EQ(Module::AskSaveChanges(QString::fromUtf8(c.prompt)), c.answer.button != QMessageBox::No);
        ASSERT_EQ(boxes.Seen().size(), 1u);
        const Boxes::Shown &box = boxes.Seen()[0];
        EXPECT_EQ(box.text, QString::fromUtf8(c.text));
        EXPECT_EQ(box.title, c.lang[0] == 'r' ? QStringLiteral("Сохранение...") : QStringLiteral("Saving..."));
        EXPECT_EQ(box.icon, QMessageBox::Question);
        EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box.defaultButton, QMessageBox::Yes);
    }
}

// ---- System texts --------------------------------------------------------------------------

void SetComputerName(const char *name)
{
    ASSERT_EQ(WriteStoredValue(HKEY_LOCAL_MACHINE,
                               QStringLiteral("System\\CurrentControlSet\\Control\\ComputerName\\ComputerName"),
                               "ComputerName", REG_SZ, QByteArray(name) + '\0'),
              ERROR_SUCCESS);
}

TEST_F(Shared, SystemTextsAreThePlatformsWithoutPaddingAndDecodedFromUtf8)
{
    char host[64] = {};
    win::DWORD hostSize = sizeof host;
    ASSERT_TRUE(win::GetComputerNameA(host, &hostSize));
    EXPECT_EQ(Module::ComputerName(), QString::fromUtf8(host, static_cast<qsizetype>(hostSize))) << "the host's name";
    SetComputerName("SKÅNE-PC");
    EXPECT_EQ(Module::ComputerName(), QStringLiteral("SKÅNE-PC"));

    char user[512] = {};
    win::DWORD size = sizeof user;
    ASSERT_TRUE(win::GetUserNameA(user, &size));
    EXPECT_EQ(Module::CurrentUserName(), QString::fromUtf8(user));

    EXPECT_EQ(Module::SystemDirectory(), QStringLiteral("C:\\windows\\system32"));
}

// ---- Icons drawn from a file ---------------------------------------------------------------

// An .ico file with one opaque square image of each side and colour, in the given order: the
// images Qt writes one per file, joined under one directory.
std::string IcoOf(const std::vector<std::pair<int, QRgb>> &squares)
{
    const auto count = static_cast<qsizetype>(squares.size());
    QByteArray directory("\0\0\1\0", 4), images;
    directory += static_cast<char>(count), directory += '\0';
    for (const auto &[side, colour] : squares) {
        QImage image(side, side, QImage::Format_ARGB32);
        image.fill(colour);
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
    std::filesystem::create_directories(machine_.PathOf("drive_c/icons"));
    machine_.WriteFile("drive_c/icons/three.ico",
                       IcoOf({{16, qRgb(255, 0, 0)}, {32, qRgb(0, 255, 0)}, {48, qRgb(0, 0, 255)}}));
    machine_.WriteFile("drive_c/icons/nolarge.ico", IcoOf({{16, qRgb(255, 0, 0)}, {48, qRgb(0, 0, 255)}}));
    machine_.WriteFile("drive_c/icons/plain.txt", "not an icon");
    const QString nolargeOnHost = QString::fromStdString(machine_.PathOf("drive_c/icons/nolarge.ico"));
    const struct {
        QString file;
        int index;
        int count;
        int side; // of the picture drawn, 0 for none
        QRgb colour;
    } cases[] = {
        {QStringLiteral("C:\\icons\\three.ico"), 0, 1, 32, qRgb(0, 255, 0)},
        {nolargeOnHost, 0, 1, 48, qRgb(0, 0, 255)}, // without a 32x32 image the largest; a host path works too
        {QStringLiteral("C:\\icons\\three.ico"), -1, 1, 0, 0},
        {QStringLiteral("C:\\icons\\three.ico"), 1, 1, 0, 0},
        {QStringLiteral("C:\\icons\\plain.txt"), 0, 0, 0, 0},
        {QStringLiteral("C:\\icons\\missing.ico"), 0, 0, 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file.toStdString() + " " + std::to_string(c.index));
        QLabel target;
        EXPECT_EQ(Module::DrawFileIcon(c.file, c.index, &target), c.count);
        const QImage drawn = target.pixmap().toImage();
        EXPECT_EQ(drawn.width(), c.side);
        if (c.side) {
            EXPECT_EQ(drawn.pixel(0, 0) & 0xffffff, c.colour & 0xffffff);
            EXPECT_EQ(target.alignment(), Qt::AlignLeft | Qt::AlignTop);
        }
    }
}

// ---- File dialogs --------------------------------------------------------------------------

TEST_F(Shared, DialogTextsBecomeQtFiltersAndWindowsNamesThatFitTheBuffer)
{
    const std::pair<const char *, const char *> filters[] = {
        {"Icon Files(*.ico)|*.ico", "Icon Files(*.ico) (*.ico)"},
        {"All Pictures|*.bmp;*.jpg;*.jpeg;*.gif", "All Pictures (*.bmp *.jpg *.jpeg *.gif)"},
        {"Icons|*.ico|Programs|*.exe;*.dll|All Files(*.*)|*.*",
         "Icons (*.ico);;Programs (*.exe *.dll);;All Files(*.*) (*.*)"},
        // A closing "|" and a description left without patterns add nothing.
        {"Icons|*.ico|", "Icons (*.ico)"},
        {"Icons|*.ico|Orphan", "Icons (*.ico)"},
        {"", ""},
    };
    for (const auto &[windows, qt] : filters)
        EXPECT_EQ(DialogBox::QtFilter(QString::fromUtf8(windows)), QString::fromUtf8(qt)) << windows;

    const QString driveC = QString::fromStdString(machine_.PathOf("drive_c/"));
    const std::pair<QString, QString> names[] = {
        {driveC + "a.txt", QStringLiteral("C:\\a.txt")},
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

// Records the file dialog, then types `path` and presses its accept button, or cancels it when
// `path` is empty.
ModalWatcher Choose(const QString &path, DialogSeen &seen)
{
    return ModalWatcher([path, &seen](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        ASSERT_NE(dialog, nullptr);
        seen = {dialog->windowTitle(), dialog->nameFilters(), dialog->acceptMode()};
        auto *buttons = dialog->findChild<QDialogButtonBox *>();
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        if (path.isEmpty()) {
            buttons->button(QDialogButtonBox::Cancel)->click();
            return;
        }
        name->setText(path);
        const auto standard =
            dialog->acceptMode() == QFileDialog::AcceptOpen ? QDialogButtonBox::Open : QDialogButtonBox::Save;
        buttons->button(standard)->click();
    });
}

// The dialogs give the chosen file's Windows name, or nothing when cancelled, and check nothing
// about it: a name that does not exist opens, an existing file is saved over without a question.
TEST_F(Shared, FileDialogsGiveTheChosenFilesWindowsNameOrNothing)
{
    std::filesystem::create_directories(machine_.PathOf("drive_c/My Icons"));
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
        const ModalWatcher watcher = Choose(QString::fromStdString(chosen), seen);
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

} // namespace
