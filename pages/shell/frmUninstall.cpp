#include "frmUninstall.h"

#include "Module.h"
#include "Reg.h"
#include "SaveReport.h"
#include "ShellSeams.h"
#include "Strings.h"

#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

namespace
{

// The registrations: one subkey each, named and started by these values (the first one that
// can be read of each pair).
constexpr auto kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr auto kDisplayName = "DisplayName";
constexpr auto kQuietDisplayName = "QuietDisplayName";
constexpr auto kUninstallString = "UninstallString";
constexpr auto kQuietUninstallString = "QuietUninstallString";

constexpr auto kNoProgramsRow = "No Programm instalation. Strings Error!";
constexpr auto kQuestionEnd = " ?";
constexpr win::UINT kShowNormal = 1;
// WinExec's results up to this one are errors.
constexpr win::UINT kLastStartError = 31;

constexpr int kHideCaption = 380;
constexpr int kUninstallCaption = 381;
constexpr int kDeleteQuestion = 382;
constexpr int kCannotUninstallMessage = 383;
constexpr int kHelpCaption = 384;
constexpr int kProgramName = 101;

// Design geometry in twips: the list at the top left (widening with the page), the two buttons
// side by side below it, the help text under them.
constexpr int kListWidth = 3195;
constexpr int kButtonWidth = 1335;
constexpr Placement kLayout[] = {
    {"lbScr", {0, 0, kListWidth, 2985}, kWidens},
    {"cmdDel", {0, 3060, kButtonWidth, 375}},
    {"cmdUninst", {kButtonWidth + 120, 3060, kButtonWidth, 375}},
    {"lblHLP", {0, 3600, kListWidth, 1800}},
};

// The first of the two values that can be read, as text; false when neither can.
bool ReadEither(const QString &key, Reg::View view, const char *first, const char *second, QString &text)
{
    return Reg::GetValue(HKEY_LOCAL_MACHINE, key, QLatin1String(first), text, view) ||
           Reg::GetValue(HKEY_LOCAL_MACHINE, key, QLatin1String(second), text, view);
}

// The registry view a row of the subkey list was found in (Reg::ListEntries).
Reg::View ViewOf(const QListWidgetItem *row)
{
    return row ? static_cast<Reg::View>(row->data(Qt::UserRole).toInt()) : Reg::View::Bit64;
}

void LetPendingMessagesRun()
{
    QCoreApplication::processEvents();
}

} // namespace

frmUninstall::frmUninstall(QWidget *parent)
    : Page(parent), lbScr(NewControl<QListWidget>("lbScr", this)), lbN(NewControl<QListWidget>("lbN", this)),
      cmdUninst(NewControl<QPushButton>("cmdUninst", this)), cmdDel(NewControl<QPushButton>("cmdDel", this)),
      lblHLP(NewControl<QLabel>("lblHLP", this))
{
    setObjectName(QStringLiteral("frmUninstall"));
    lbN->hide();
    lblHLP->setWordWrap(true);
    lblHLP->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    LayOut(this, kLayout);

    connect(lbScr, &QListWidget::currentRowChanged, this, &frmUninstall::lbScr_Click);
    connect(cmdDel, &QPushButton::clicked, this, &frmUninstall::cmdDel_Click);
    connect(cmdUninst, &QPushButton::clicked, this, &frmUninstall::cmdUninst_Click);
}

void frmUninstall::Form_Load()
{
    lbScr->clear();
    cmdDel->setText(LoadResString(kHideCaption));
    cmdUninst->setText(LoadResString(kUninstallCaption));
    lblHLP->setText(LoadResString(kHelpCaption));

    // Registrations of 32-bit and 64-bit installers alike, each in the view it was made in.
    if (!Reg::ListEntries(*lbN, HKEY_LOCAL_MACHINE, QLatin1String(kUninstallKey))) {
        ShowNoPrograms();
        return;
    }
    LetPendingMessagesRun();

    // A registration without a name is dropped from both lists, so that row i of each still
    // belongs to the same subkey.
    for (int i = 0; i < lbN->count(); ++i) {
        const QString key = QLatin1String(kUninstallKey) + QLatin1Char('\\') + lbN->item(i)->text();
        QString name;
        ReadEither(key, ViewOf(lbN->item(i)), kDisplayName, kQuietDisplayName, name);
        if (!name.isEmpty()) {
            lbScr->addItem(name);
        } else {
            delete lbN->takeItem(i);
            --i;
        }
    }

    if (lbScr->count() == 0) {
        ShowNoPrograms();
        return;
    }
    SelIndex = 0;
    lbScr->setCurrentRow(0);
    cmdDel->setEnabled(true);
    cmdUninst->setEnabled(true);
}

void frmUninstall::lbScr_Click(int row)
{
    if (lbScr->count() > 0)
        SelIndex = static_cast<qint16>(row);
}

void frmUninstall::cmdDel_Click()
{
    if (lbN->count() == 0)
        return;
    // A registration without a subkey name of its own cannot be deleted alone: its key would be
    // the uninstall key itself, with every registration in it.
    if (SelectedSubKeyName().isEmpty())
        return;
    const QListWidgetItem *shown = lbScr->item(SelIndex);
    const QString question =
        LoadResString(kDeleteQuestion) + (shown ? shown->text() : QString()) + QLatin1String(kQuestionEnd);
    if (!Module::AskSaveChanges(question))
        return;
    {
        SaveReport report(this);
        // A registration that is already gone is what Hide wanted.
        Reg::DeleteKey(HKEY_LOCAL_MACHINE, SelectedKey(), ViewOf(lbN->item(SelIndex)));
    }
    LetPendingMessagesRun();
    Form_Load();
}

void frmUninstall::cmdUninst_Click()
{
    if (lbN->count() == 0)
        return;
    QString command;
    bool started = false;
    if (ReadEither(SelectedKey(), ViewOf(lbN->item(SelIndex)), kUninstallString, kQuietUninstallString, command)) {
        // The command line goes to the system as it is: a program and its arguments, no shell.
        started = CurrentProgramStarter()(command.toUtf8().constData(), kShowNormal) > kLastStartError;
    }
    if (!started) {
        QMessageBox box(QMessageBox::Critical, LoadResString(kProgramName), LoadResString(kCannotUninstallMessage),
                        QMessageBox::Ok, this);
        box.exec();
    }
    // The entry stays listed until its uninstaller has removed it.
    LetPendingMessagesRun();
    Form_Load();
}

void frmUninstall::ShowNoPrograms()
{
    lbScr->addItem(QLatin1String(kNoProgramsRow));
    cmdDel->setEnabled(false);
    cmdUninst->setEnabled(false);
}

QString frmUninstall::SelectedSubKeyName() const
{
    const QListWidgetItem *row = lbN->item(SelIndex);
    return row ? row->text() : QString();
}

QString frmUninstall::SelectedKey() const
{
    return QLatin1String(kUninstallKey) + QLatin1Char('\\') + SelectedSubKeyName();
}
