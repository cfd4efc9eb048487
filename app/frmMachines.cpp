#include "frmMachines.h"

#include "MachineChoice.h"
#include "Page.h"
#include "Strings.h"
#include "images.h"
#include "machine.h"
#include "prefixes.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>

namespace
{

enum Column { kName, kSource, kWindows, kRunning, kLastChange, kFolder, kColumnCount };

// The column captions by string ID, in column order.
constexpr int kColumnCaptions[kColumnCount] = {1201, 1202, 1203, 1204, 1205, 1230};
constexpr int kInUseText = 1231;
// So many machines show before the list scrolls.
constexpr int kRowsShown = 8;

// Design geometry in twips: the list fills the dialog above its buttons, Other at the left and
// OK and Cancel at the right.
constexpr int kButtonTop = 3240;
constexpr int kButtonWidth = 1350;
constexpr int kRight = 7320;
constexpr Follow kBottomRight{1, 0, 1, 0};
constexpr Placement kLayout[] = {
    {"lstMachines", {120, 120, kRight - 120, kButtonTop - 240}, kFills},
    {"cmdOther", {120, kButtonTop, 1800, 375}, kMovesDown},
    {"cmdImage", {2040, kButtonTop, 1800, 375}, kMovesDown},
    {"cmdOK", {kRight - 2 * kButtonWidth - 120, kButtonTop, kButtonWidth, 375}, kBottomRight},
    {"cmdCancel", {kRight - kButtonWidth, kButtonTop, kButtonWidth, 375}, kBottomRight},
};

QTreeWidgetItem *RowOf(const win::WinePrefix &prefix, const QString &source)
{
    auto *row = new QTreeWidgetItem;
    row->setText(kName, QString::fromStdString(prefix.name));
    row->setText(kSource, source);
    row->setText(kWindows, WindowsVersionName(prefix.windowsVersion));
    row->setText(kRunning, prefix.serverRunning ? LoadResString(1209) : QString());
    if (prefix.lastChange > 0)
        row->setText(kLastChange,
                     QLocale().toString(QDateTime::fromSecsSinceEpoch(prefix.lastChange), QLocale::ShortFormat));
    const QString folder = QString::fromStdString(prefix.folder);
    row->setText(kFolder, folder);
    row->setToolTip(kName, folder);
    row->setData(0, Qt::UserRole, folder);
    return row;
}

QTreeWidgetItem *RowOf(const win::ImageMachine &image, const QString &source)
{
    auto *row = new QTreeWidgetItem;
    row->setText(kName, QString::fromStdString(image.name));
    row->setText(kSource, source);
    row->setText(kWindows, WindowsVersionName(image.windowsVersion));
    const QString path = QString::fromStdString(image.path);
    row->setText(kFolder, path);
    row->setToolTip(kName, path);
    row->setData(0, Qt::UserRole, path);
    return row;
}

// The machine in use stands out in bold and says so.
void MarkInUse(QTreeWidgetItem *row)
{
    for (int column = 0; column < kColumnCount; ++column) {
        QFont font = row->font(column);
        font.setBold(true);
        row->setFont(column, font);
        row->setToolTip(column, LoadResString(kInUseText));
    }
}

// "Disk images (*.img *.ima ...);;All files (*)"
QString ImageFilter()
{
    QStringList patterns;
    for (const char *suffix : win::kDiskImageSuffixes)
        patterns << QStringLiteral("*.") + QLatin1String(suffix);
    return LoadResString(1215).arg(patterns.join(QLatin1Char(' '))) + QStringLiteral(";;") + LoadResString(1216);
}

} // namespace

frmMachines::frmMachines(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmMachines"));
    lstMachines = NewControl<QTreeWidget>("lstMachines", this);
    lstMachines->setRootIsDecorated(false);
    lstMachines->setAllColumnsShowFocus(true);
    lstMachines->setColumnCount(kColumnCount);
    cmdOther = NewControl<QPushButton>("cmdOther", this);
    cmdImage = NewControl<QPushButton>("cmdImage", this);
    cmdOK = NewControl<QPushButton>("cmdOK", this);
    cmdCancel = NewControl<QPushButton>("cmdCancel", this);
    cmdOther->setAutoDefault(false);
    cmdImage->setAutoDefault(false);
    cmdCancel->setAutoDefault(false);
    cmdOK->setDefault(true);

    LayOut(this, kLayout);

    connect(cmdOK, &QPushButton::clicked, this, &frmMachines::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdOther, &QPushButton::clicked, this, &frmMachines::cmdOther_Click);
    connect(cmdImage, &QPushButton::clicked, this, &frmMachines::cmdImage_Click);
    connect(lstMachines, &QTreeWidget::itemDoubleClicked, this, &frmMachines::cmdOK_Click);
    Form_Load();
}

void frmMachines::Form_Load()
{
    setWindowTitle(LoadResString(1200));
    QStringList captions;
    for (const int id : kColumnCaptions)
        captions << LoadResString(id);
    lstMachines->setHeaderLabels(captions);
    cmdOther->setText(LoadResString(1206));
    cmdImage->setText(LoadResString(1213));
    cmdOK->setText(LoadResString(1207));
    cmdCancel->setText(LoadResString(1208));

    const QString current = CanonicalFolder(QString::fromStdString(win::ChosenMachineFolder()));
    QTreeWidgetItem *currentRow = nullptr;
    for (const win::WinePrefix &prefix : win::FindWinePrefixes()) {
        QTreeWidgetItem *row = RowOf(prefix, SourceName(prefix.source));
        lstMachines->addTopLevelItem(row);
        if (!currentRow && CanonicalFolder(QString::fromStdString(prefix.folder)) == current)
            currentRow = row;
    }
    for (const win::ImageMachine &image : win::FindImageMachines()) {
        QTreeWidgetItem *row = RowOf(image, QString::fromStdString(image.emulator));
        lstMachines->addTopLevelItem(row);
        if (!currentRow && CanonicalFolder(QString::fromStdString(image.path)) == current)
            currentRow = row;
    }
    // A machine chosen earlier from another folder or image is offered too, first.
    if (!currentRow && IsMachine(current)) {
        const std::string name = MachineName(current).toStdString();
        currentRow =
            win::IsImageMachine()
                ? RowOf(win::DescribeImageMachine(current.toStdString(), name, {}), LoadResString(1218))
                : RowOf(win::DescribeWinePrefix(current.toStdString(), win::PrefixSource::WinePrefixVariable, name),
                        LoadResString(1229));
        lstMachines->insertTopLevelItem(0, currentRow);
    }
    if (currentRow)
        MarkInUse(currentRow);
    lstMachines->setCurrentItem(currentRow ? currentRow : lstMachines->topLevelItem(0));
    for (int column = 0; column < kColumnCount; ++column)
        lstMachines->resizeColumnToContents(column);
    lstMachines->setFocus();
    ShowRows(kRowsShown);
}

void frmMachines::ShowRows(int rows)
{
    // The list follows the dialog's height, so the dialog grows by what the list lacks.
    const int rowHeight =
        lstMachines->sizeHintForRow(0) > 0 ? lstMachines->sizeHintForRow(0) : lstMachines->fontMetrics().height() + 4;
    const int wanted = lstMachines->header()->sizeHint().height() + rows * rowHeight + 2 * lstMachines->frameWidth();
    const int lacking = qMax(0, wanted - lstMachines->height());
    setMinimumHeight(height() + lacking);
    resize(qMax(width(), lstMachines->header()->length() + 40), height() + lacking);
}

void frmMachines::Choose(const QString &folder, const QString &name)
{
    chosenFolder_ = folder;
    chosenName_ = name;
    accept();
}

void frmMachines::cmdOK_Click()
{
    if (QTreeWidgetItem *row = lstMachines->currentItem())
        Choose(row->data(0, Qt::UserRole).toString(), row->text(kName));
}

void frmMachines::cmdOther_Click()
{
    const QString folder = QFileDialog::getExistingDirectory(this, LoadResString(1212), QDir::homePath());
    if (!folder.isEmpty())
        ChooseOtherFolder(folder);
}

void frmMachines::ChooseOtherFolder(const QString &folder)
{
    if (win::IsWinePrefix(folder.toStdString()))
        Choose(folder, QString());
    else
        QMessageBox::warning(this, LoadResString(101), LoadResString(1210));
}

void frmMachines::cmdImage_Click()
{
    const QString image = QFileDialog::getOpenFileName(this, LoadResString(1214), QDir::homePath(), ImageFilter());
    if (!image.isEmpty())
        ChooseImage(image);
}

void frmMachines::ChooseImage(const QString &image)
{
    if (win::HoldsWindowsImage(image.toStdString()))
        Choose(image, QString());
    else
        QMessageBox::warning(this, LoadResString(101), LoadResString(1217));
}
