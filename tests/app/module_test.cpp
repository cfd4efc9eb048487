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

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cstring>
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
    const struct {
        const char *lang;
        QString prompt;
        Boxes::Answer answer;
        bool yes;
        QString text;
        QString title;
    } cases[] = {
        {"en_US.UTF-8", QStringLiteral("None"), Boxes::Enter(), true, QStringLiteral("Save Changes ?"),
         QStringLiteral("Saving...")},
        {"en_US.UTF-8", QStringLiteral("None"), Boxes::Click(QMessageBox::No), false, QStringLiteral("Save Changes ?"),
         QStringLiteral("Saving...")},
        {"en_US.UTF-8", QStringLiteral("None "), Boxes::Click(QMessageBox::Yes), true, QStringLiteral("None "),
         QStringLiteral("Saving...")},
        {"ru_RU.UTF-8", QStringLiteral("None"), Boxes::Enter(), true, QStringLiteral("Сохранить внесенные изменения ?"),
         QStringLiteral("Сохранение...")},
        {"ru_RU.UTF-8", QStringLiteral("Заменить значок ?"), Boxes::Click(QMessageBox::Yes), true,
         QStringLiteral("Заменить значок ?"), QStringLiteral("Сохранение...")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.prompt.toStdString());
        env_.SetLanguage(c.lang);
        Boxes boxes({c.answer});
        EXPECT_EQ(Module::AskSaveChanges(c.prompt), c.yes);
        ASSERT_EQ(boxes.Seen().size(), 1u);
        const Boxes::Shown &box = boxes.Seen()[0];
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.title, c.title);
        EXPECT_EQ(box.icon, QMessageBox::Question);
        EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box.defaultButton, QMessageBox::Yes);
    }
}

// ---- System texts --------------------------------------------------------------------------

bool HasTrailingBlankOrNul(const QString &text)
{
    return !text.isEmpty() && (text.back() == QLatin1Char(' ') || text.back() == QChar(0));
}

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

    for (const QString &text : {Module::ComputerName(), Module::CurrentUserName(), Module::SystemDirectory()}) {
        EXPECT_FALSE(text.isEmpty());
        EXPECT_FALSE(HasTrailingBlankOrNul(text)) << text.toStdString();
    }
}

// ---- Icons drawn from a file ---------------------------------------------------------------

struct Square {
    int size;
    QRgb colour;
};

// An .ico file with one opaque 32-bit image per square, in the given order.
std::string IcoOf(const std::vector<Square> &squares)
{
    std::string out;
    auto u16 = [&out](unsigned v) { out += static_cast<char>(v & 0xff), out += static_cast<char>((v >> 8) & 0xff); };
    auto u32 = [&](unsigned v) { u16(v & 0xffff), u16(v >> 16); };
    u16(0), u16(1), u16(static_cast<unsigned>(squares.size()));
    unsigned offset = 6 + 16 * static_cast<unsigned>(squares.size());
    std::vector<unsigned> sizes;
    for (const Square &s : squares) {
        const unsigned side = static_cast<unsigned>(s.size);
        const unsigned bytes = 40 + side * side * 4 + ((side + 31) / 32) * 4 * side;
        out += static_cast<char>(side % 256), out += static_cast<char>(side % 256), out += '\0', out += '\0';
        u16(1), u16(32), u32(bytes), u32(offset);
        offset += bytes;
    }
    for (const Square &s : squares) {
        const unsigned side = static_cast<unsigned>(s.size);
        u32(40), u32(side), u32(side * 2), u16(1), u16(32);
        for (int i = 0; i < 6; ++i)
            u32(0);
        for (unsigned p = 0; p < side * side; ++p) {
            out += static_cast<char>(qBlue(s.colour)), out += static_cast<char>(qGreen(s.colour));
            out += static_cast<char>(qRed(s.colour)), out += '\xff';
        }
        out.append(std::size_t{(side + 31) / 32} * 4 * side, '\0'); // the AND mask: everything opaque
    }
    return out;
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
    bool parented = true;
    bool confirmsOverwrite = true;
};

// Records the file dialog, then types `path` and presses its accept button, or cancels it when
// `path` is empty.
ModalWatcher Choose(const QString &path, DialogSeen &seen)
{
    return ModalWatcher([path, &seen](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        ASSERT_NE(dialog, nullptr);
        seen = {dialog->windowTitle(), dialog->nameFilters(), dialog->acceptMode(), dialog->parentWidget() != nullptr,
                !dialog->testOption(QFileDialog::DontConfirmOverwrite)};
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
        Boxes boxes;
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
        EXPECT_FALSE(seen.parented);
        EXPECT_FALSE(seen.confirmsOverwrite && c.save);
        EXPECT_TRUE(boxes.Seen().empty());
    }
    EXPECT_EQ(machine_.ReadFile("drive_c/old.txt"), "keep");
}

} // namespace
