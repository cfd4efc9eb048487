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
#include <QCursor>
#include <QPainter>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace
{

constexpr int kMinimumWidthTwips = 10000;
constexpr int kMinimumHeightTwips = 6000;
constexpr int kStatusHeightTwips = 200;
constexpr int kTimeTextLeft = 70;
constexpr int kStatusInterval = 10;
// Room between the time and the machine, in pixels.
constexpr int kMachineGap = 16;

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
    cmdMachine->setAutoRaise(true);
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
    client_ = new QWidget(central);
    client_->setObjectName(QStringLiteral("client"));
    client_->installEventFilter(this);
    statb = new StatusStrip(central);
    statb->setFixedHeight(TwipsToPixelsY(kStatusHeightTwips, this));
    layout->addWidget(client_, 1);
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
    ReportMachineProblems(this);
}

void frmStart::MDIForm_Load()
{
    setWindowTitle(LoadResString(101));
    tmrStat->start();
}

void frmStart::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (isMinimized())
        return;
    // The outer size has a floor; below it the window is put back.
    const int frameWidth = frameGeometry().width() - width();
    const int frameHeight = frameGeometry().height() - height();
    const int minimumWidth = TwipsToPixelsX(kMinimumWidthTwips, this) - frameWidth;
    const int minimumHeight = TwipsToPixelsY(kMinimumHeightTwips, this) - frameHeight;
    if (width() < minimumWidth || height() < minimumHeight)
        resize(std::max(width(), minimumWidth), std::max(height(), minimumHeight));
}

bool frmStart::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == client_ && event->type() == QEvent::Resize)
        MDIForm_Resize();
    return QMainWindow::eventFilter(watched, event);
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
}

void frmStart::closeEvent(QCloseEvent *event)
{
    // The current page's unload runs (and may ask to save) before the windows go.
    MdlStart::UnloadCurrentPage();
    tmrStat->stop();
    QMainWindow::closeEvent(event);
}
