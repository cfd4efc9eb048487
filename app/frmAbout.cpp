#include "frmAbout.h"

#include "Module.h"
#include "Strings.h"
#include "win32.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <cmath>

namespace
{

// The program's own version, independent of the build system's.
constexpr int kMajor = 1;
constexpr int kMinor = 5;
constexpr int kRevision = 88;
constexpr auto kBuildDate = "17.01.2002";

// Design geometry in twips: the icon with the name and build beside it, the machine's facts
// below, the credit line and the link at the bottom.
constexpr int kLeft = 360;
constexpr int kWidth = 6060;
constexpr int kCaptionWidth = 2700;
constexpr int kTextLeft = 1020;
constexpr Placement kLayout[] = {
    {"AppImg", {kLeft, kLeft, 480, 480}},
    {"lblVersion", {kTextLeft, kLeft, kLeft + kWidth - kTextLeft, 255}, kWidens},
    {"lblBild", {kTextLeft, 645, kLeft + kWidth - kTextLeft, 255}, kWidens},
    {"lblCN", {kLeft, 1140, kWidth, 255}, kWidens},
    {"lblUsr", {kLeft, 1425, kWidth, 255}, kWidens},
    {"lblwo", {kLeft, 1710, kCaptionWidth, 255}},
    {"picWinOn", {kLeft + kCaptionWidth, 1710, kWidth - kCaptionWidth, 255}, kWidens},
    {"lblDisp", {kLeft, 1995, kWidth, 255}, kWidens},
    {"lblProgrammer", {kLeft, 2700, kWidth, 255}, Follow{0, 1, 1, 0}},
    {"lblurl", {kLeft, 2985, kCaptionWidth, 255}, kMovesDown},
};

constexpr int kUptimeInterval = 100;
// "%1 h %2 min %3 s": hours, minutes and seconds in the units of the interface language.
constexpr int kUptimeFormat = 1300;
constexpr int kDisplayInterval = 5000;

// The README bundled with the program; the project has no web page of its own.
constexpr auto kReadmeResource = ":/README.md";
constexpr auto kLinkText = "Korvex README";

QString Padded(std::uint64_t number, int width)
{
    return QStringLiteral("%1").arg(number, width, 10, QLatin1Char('0'));
}

// 2^exponent as a decimal: a power of two is exact in a double, and printed exactly.
QString PowerOfTwo(int exponent)
{
    return QString::number(std::ldexp(1.0, exponent), 'f', 0);
}

// The mode of the primary display in device pixels, as the display driver reports it.
frmAbout::DisplayMode PrimaryDisplayMode()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const QSize size = screen->geometry().size() * screen->devicePixelRatio();
    return {size.width(), size.height(), screen->depth()};
}

} // namespace

frmAbout::frmAbout(QWidget *parent)
    : Page(parent), TickCount(&win::GetTickCount64), CurrentDisplayMode(&PrimaryDisplayMode),
      Execute([](const QByteArray &commandLine) {
          return static_cast<unsigned>(win::WinExec(commandLine.constData(), SW_SHOWNORMAL));
      }),
      AppImg(NewControl<QLabel>("AppImg", this)), lblVersion(NewControl<QLabel>("lblVersion", this)),
      lblBild(NewControl<QLabel>("lblBild", this)), lblCN(NewControl<QLabel>("lblCN", this)),
      lblUsr(NewControl<QLabel>("lblUsr", this)), lblwo(NewControl<QLabel>("lblwo", this)),
      picWinOn(NewControl<QLabel>("picWinOn", this)), lblDisp(NewControl<QLabel>("lblDisp", this)),
      lblProgrammer(NewControl<QLabel>("lblProgrammer", this)), lblurl(NewControl<QLabel>("lblurl", this)),
      tmr(new QTimer(this)), tmrD(new QTimer(this))
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));

    QFont title = lblVersion->font();
    title.setBold(true);
    lblVersion->setFont(title);
    AppImg->setFixedSize(32, 32);
    AppImg->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picWinOn->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    QFont link = lblurl->font();
    link.setUnderline(true);
    lblurl->setFont(link);
    lblurl->setForegroundRole(QPalette::Link);
    lblurl->setCursor(Qt::PointingHandCursor);
    lblurl->installEventFilter(this);

    LayOut(this, kLayout);

    tmr->setObjectName(QStringLiteral("tmr"));
    tmr->setInterval(kUptimeInterval);
    connect(tmr, &QTimer::timeout, this, &frmAbout::tmr_Timer);
    tmrD->setObjectName(QStringLiteral("tmrD"));
    tmrD->setInterval(kDisplayInterval);
    connect(tmrD, &QTimer::timeout, this, &frmAbout::tmrD_Timer);
}

QString frmAbout::VersionText()
{
    return LoadResString(101) + QStringLiteral("  ") + LoadResString(104) + QLatin1Char(' ') + QString::number(kMajor) +
           QLatin1Char('.') + Padded(kMinor, 2);
}

QString frmAbout::BuildText()
{
    return LoadResString(105) + QStringLiteral(" #") + Padded(kRevision, 4) + QStringLiteral("  ") +
           LoadResString(118) + QStringLiteral("  ") + QLatin1String(kBuildDate);
}

QString frmAbout::UptimeText(std::uint64_t milliseconds)
{
    const std::uint64_t seconds = milliseconds / 1000;
    const std::uint64_t minutes = seconds / 60;
    const std::uint64_t hours = minutes / 60;
    return LoadResString(kUptimeFormat).arg(QString::number(hours), Padded(minutes % 60, 2), Padded(seconds % 60, 2));
}

QString frmAbout::DisplayModeText(int width, int height, int depth)
{
    depth = std::max(depth, 0);
    return LoadResString(455) + QLatin1Char(' ') + QString::number(width) + QLatin1Char('x') + QString::number(height) +
           QLatin1Char(' ') + LoadResString(457) + QLatin1Char(' ') + QString::number(depth) + QStringLiteral(" (") +
           PowerOfTwo(depth) + QStringLiteral(") ") + LoadResString(456);
}

void frmAbout::Form_Load()
{
    lblVersion->setText(VersionText());
    lblBild->setText(BuildText());
    lblCN->setText(LoadResString(177) + QLatin1Char(' ') + Module::ComputerName());
    lblUsr->setText(LoadResString(178) + QLatin1Char(' ') + Module::CurrentUserName());
    lblwo->setText(LoadResString(179));
    lblProgrammer->setText(LoadResString(127));
    lblurl->setText(QLatin1String(kLinkText));
    const QIcon icon = window()->windowIcon();
    if (!icon.isNull())
        AppImg->setPixmap(icon.pixmap(AppImg->size()));
    ShowDisplayMode();
    tmr->start();
    tmrD->start();
}

void frmAbout::Form_Unload()
{
    tmr->stop();
    tmrD->stop();
}

void frmAbout::tmr_Timer()
{
    const QString text = UptimeText(TickCount());
    if (text == LastUptimeText)
        return;
    picWinOn->setText(text);
    LastUptimeText = text;
}

void frmAbout::tmrD_Timer()
{
    ShowDisplayMode();
}

void frmAbout::ShowDisplayMode()
{
    const DisplayMode mode = CurrentDisplayMode();
    const QString line = DisplayModeText(mode.width, mode.height, mode.depth);
    if (lblDisp->text() != line)
        lblDisp->setText(line);
}

void frmAbout::lblurl_DblClick()
{
    const QString address = ReadmeAddress();
    if (!address.isEmpty())
        Execute(QByteArrayLiteral("explorer ") + address.toUtf8());
}

bool frmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lblurl && event->type() == QEvent::MouseButtonDblClick) {
        lblurl_DblClick();
        return true;
    }
    return Page::eventFilter(watched, event);
}

QString frmAbout::ReadmeAddress()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return QString();
    const QString path = QDir(folder).filePath(QStringLiteral("README.md"));
    QFile source{QLatin1String(kReadmeResource)};
    QFile target(path);
    if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    const QByteArray text = source.readAll();
    if (target.write(text) != text.size() || !target.flush())
        return QString();
    // Blanks and other bytes that would split the command line are percent-encoded.
    return QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded());
}
