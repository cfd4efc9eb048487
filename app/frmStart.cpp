#include "frmStart.h"

#include "MachineCheck.h"
#include "MachineChoice.h"
#include "Page.h"
#include "StartGlobals.h"
#include "Strings.h"
#include "frmMachines.h"
#include "frmTR.h"
#include "machine.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QHelpEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QStandardPaths>
#include <QStyle>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

namespace
{

constexpr int kMinimumWidthTwips = 10000;
constexpr int kMinimumHeightTwips = 6000;
constexpr int kFirstWidthTwips = 12000;
constexpr int kFirstHeightTwips = 8000;
constexpr int kStatusHeightTwips = 200;
constexpr int kTimeTextLeft = 70;
constexpr int kStatusInterval = 10;
// Room between the time and the machine, in pixels.
constexpr int kMachineGap = 16;
constexpr int kPositionTip = 1232;
constexpr int kTimeTip = 1233;

// Where the window was left, in the user's settings file (beside the machine chosen last).
constexpr auto kGeometrySetting = "window/geometry";

QSettings UserSettings()
{
    return QSettings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/Korvex/Korvex.conf"),
                     QSettings::IniFormat);
}

QRect AvailableArea(const QWidget &window)
{
    const QScreen *screen = window.screen();
    return screen ? screen->availableGeometry() : QRect();
}

// What the window manager's frame adds to the inner size; before the window is shown, the
// style's idea of a title bar and borders.
QSize FrameAllowance(const QWidget &window)
{
    const QSize shown = window.frameGeometry().size() - window.size();
    if (window.isVisible() && !shown.isEmpty())
        return shown;
    const int border = window.style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
    return {2 * border, window.style()->pixelMetric(QStyle::PM_TitleBarHeight) + 2 * border};
}

QString FourDigits(int value)
{
    const QString digits = QString::number(std::abs(static_cast<long long>(value))).rightJustified(4, QLatin1Char('0'));
    return value < 0 ? QStringLiteral("-") + digits : digits;
}

// The tree window that start-up put into the inner area.
frmTR *TreeIn(const QWidget *client)
{
    return client->findChild<frmTR *>(QString(), Qt::FindDirectChildrenOnly);
}

} // namespace

StatusStrip::StatusStrip(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("statb"));
    QFont strip(QStringLiteral("MS Sans Serif"));
    strip.setStyleHint(QFont::SansSerif);
    setFont(strip);
    cmdMachine = new QToolButton(this);
    cmdMachine->setObjectName(QStringLiteral("cmdMachine"));
    // It opens the chooser: it looks like a button and takes the focus like one.
    cmdMachine->setAutoRaise(false);
    cmdMachine->setFocusPolicy(Qt::StrongFocus);
    cmdMachine->setToolTip(LoadResString(1211));
    cmdMachine->hide();
}

void StatusStrip::SetMachineText(const QString &text)
{
    cmdMachine->setText(text);
    cmdMachine->setVisible(!text.isEmpty());
    const int left = kTimeTextLeft + fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) + kMachineGap;
    cmdMachine->setGeometry(left, 0, cmdMachine->sizeHint().width(), height());
}

bool StatusStrip::event(QEvent *event)
{
    // The position and the time are drawn, not controls: each says what it is where it stands.
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const int id = help->pos().x() < kTimeTextLeft ? kPositionTip : kTimeTip;
        QToolTip::showText(help->globalPos(), LoadResString(id), this);
        return true;
    }
    return QWidget::event(event);
}

void StatusStrip::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    cmdMachine->resize(cmdMachine->width(), height());
}

void StatusStrip::SetPositionText(const QString &text)
{
    if (text == LastPosText)
        return;
    LastPosText = text;
    ++redraws_;
    update(QRect(0, 0, kTimeTextLeft, height()));
}

void StatusStrip::SetTimeText(const QString &text)
{
    if (text == LastTimeText)
        return;
    LastTimeText = text;
    ++redraws_;
    update(QRect(kTimeTextLeft, 0, width() - kTimeTextLeft, height()));
}

void StatusStrip::paintEvent(QPaintEvent *)
{
    // Both texts are kept, so a strip that was covered is painted whole again.
    QPainter painter(this);
    const int baseline = fontMetrics().ascent();
    painter.drawText(0, baseline, LastPosText);
    painter.drawText(kTimeTextLeft, baseline, LastTimeText);
}

frmStart::frmStart(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmStart"));
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    scroller_ = new QScrollArea(central);
    scroller_->setFrameShape(QFrame::NoFrame);
    scroller_->setWidgetResizable(true);
    client_ = new QWidget;
    client_->setObjectName(QStringLiteral("client"));
    client_->installEventFilter(this);
    scroller_->setWidget(client_);
    statb = new StatusStrip(central);
    statb->setFixedHeight(TwipsToPixelsY(kStatusHeightTwips, this));
    layout->addWidget(scroller_, 1);
    layout->addWidget(statb);
    setCentralWidget(central);

    tmrStat = new QTimer(this);
    tmrStat->setObjectName(QStringLiteral("tmrStat"));
    tmrStat->setInterval(kStatusInterval);
    connect(tmrStat, &QTimer::timeout, this, &frmStart::tmrStat_Timer);
    connect(statb->MachineButton(), &QToolButton::clicked, this, &frmStart::cmdMachine_Click);
    MDIForm_Load();
    statb->SetMachineText(MachineLabel());
}

void frmStart::cmdMachine_Click()
{
    frmMachines chooser(this);
    if (chooser.exec() == QDialog::Accepted)
        SwitchToMachine(chooser.ChosenFolder(), chooser.ChosenName());
}

void frmStart::SwitchToMachine(const QString &folder, const QString &name)
{
    if (CanonicalFolder(folder) == CanonicalFolder(QString::fromStdString(win::ChosenMachineFolder())))
        return;
    RememberMachine(folder, name);
    MdlStart::UnloadCurrentPage();
    win::UseMachineFolder(folder.toStdString());
    win::ResetMachine();
    MdlStart::DecidePlatform();
    if (frmTR *tree = TreeIn(client_))
        tree->BuildTree();
    MdlStart::ShowAboutPage();
    statb->SetMachineText(MachineLabel());
    ShowMachineInTitle();
    ReportMachineProblems(this);
}

void frmStart::MDIForm_Load()
{
    ShowMachineInTitle();
    tmrStat->start();
}

void frmStart::ShowMachineInTitle()
{
    const QString program = LoadResString(101);
    const QString machine = MachineLabel();
    // "[*]" is where Qt puts the unsaved-changes mark.
    setWindowTitle(machine.isEmpty() ? program + QStringLiteral("[*]")
                                     : machine + QStringLiteral("[*] \u2013 ") + program);
}

void frmStart::PlaceOnScreen()
{
    const QByteArray saved = UserSettings().value(QLatin1String(kGeometrySetting)).toByteArray();
    // Qt puts a remembered window that no longer fits back within the screen.
    if (!saved.isEmpty() && restoreGeometry(saved))
        return;
    const QRect area = AvailableArea(*this);
    const QSize frame = FrameAllowance(*this);
    QSize size(TwipsToPixelsX(kFirstWidthTwips, this), TwipsToPixelsY(kFirstHeightTwips, this));
    if (area.isValid())
        size = size.boundedTo(area.size() - frame);
    resize(size);
    if (area.isValid()) {
        const QSize room = area.size() - size - frame;
        move(area.topLeft() + QPoint(room.width() / 2, room.height() / 2));
    }
}

QSize frmStart::MinimumOuterSize() const
{
    const QSize design(TwipsToPixelsX(kMinimumWidthTwips, this), TwipsToPixelsY(kMinimumHeightTwips, this));
    const QRect area = AvailableArea(*this);
    return area.isValid() ? design.boundedTo(area.size()) : design;
}

void frmStart::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (isMinimized())
        return;
    // The outer size has a floor; below it the window is put back.
    const QSize floor = MinimumOuterSize() - FrameAllowance(*this);
    if (width() < floor.width() || height() < floor.height())
        resize(size().expandedTo(floor));
}

bool frmStart::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == client_) {
        switch (event->type()) {
        case QEvent::Resize: MDIForm_Resize(); break;
        // A page came or went, or the current page's layout changed what it needs.
        case QEvent::ChildAdded:
        case QEvent::ChildRemoved:
        case QEvent::LayoutRequest: FollowPageMinimum(); break;
        default: break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmStart::FollowPageMinimum()
{
    const Page *page = MdlStart::CurrentPage();
    const QSize needed = page && page->parentWidget() == client_ ? page->minimumSizeHint() : QSize();
    // The page has two thirds of the inner width, the tree the rest.
    const QSize wanted = needed.isValid() ? QSize((needed.width() * 3 + 1) / 2, needed.height()) : QSize(0, 0);
    if (client_->minimumSize() == wanted)
        return;
    client_->setMinimumSize(wanted);
    // The scroll area looks at the inner area's minimum again and shows or hides its bars.
    QEvent request(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(scroller_, &request);
}

void frmStart::MDIForm_Resize()
{
    if (isMinimized())
        return;
    frmTR *tree = TreeIn(client_);
    if (!tree)
        return;
    const QRect wanted(0, 0, qRound(client_->width() / 3.0), client_->height());
    if (tree->geometry() != wanted)
        tree->setGeometry(wanted);
    MdlStart::PlacePage();
}

QString frmStart::PositionText(const QPoint &cursor)
{
    return FourDigits(cursor.x() + 1) + QLatin1Char('x') + FourDigits(cursor.y() + 1);
}

void frmStart::tmrStat_Timer()
{
    CursorPos = QCursor::pos();
    statb->SetTimeText(QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
    statb->SetPositionText(PositionText(CursorPos));
    // Pages note their unsaved changes in a plain flag; the clock's tick carries it to the title.
    const Page *page = MdlStart::CurrentPage();
    setWindowModified(page && page->HasUnsavedChanges());
}

void frmStart::closeEvent(QCloseEvent *event)
{
    UserSettings().setValue(QLatin1String(kGeometrySetting), saveGeometry());
    // The current page's unload runs (and may ask to save) before the windows go.
    MdlStart::UnloadCurrentPage();
    tmrStat->stop();
    QMainWindow::closeEvent(event);
}
