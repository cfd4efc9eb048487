// The About page: the program's name, version and build, the computer and user name, how long
// the system has been running, the display mode, the credit line and a link to the program's
// README. Shown at start and for every tree node without a page of its own. It reads nothing
// from the registry and writes nothing.
#pragma once

#include "Page.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

class QLabel;
class QTimer;

class frmAbout : public Page
{
    Q_OBJECT

public:
    struct DisplayMode {
        int width = 0;
        int height = 0;
        int depth = 0;
    };

    explicit frmAbout(QWidget *parent = nullptr);

    // "Korvex  Version is 1.05" and "Build #0088  from  17.01.2002", in the interface language.
    static QString VersionText();
    static QString BuildText();
    // The running time in the interface language: hours (never reduced to days), minutes and
    // seconds ("25 h 03 min 09 s").
    static QString UptimeText(std::uint64_t milliseconds);
    // "Current Resolution 1024x768 Color depth is 16 (65536) Bit (Colors)".
    static QString DisplayModeText(int width, int height, int depth);

    // Redraws the running time when its text changed (tmr, every 100 ms).
    void tmr_Timer();
    // Shows the display mode (tmrD, every 5 s).
    void tmrD_Timer();
    void ShowDisplayMode();
    // Opens the link (a double click on lblurl).
    void lblurl_DblClick();

    // Where the page's values come from, and how it starts a command line; tests put their
    // own in place before loading the page.
    std::function<std::uint64_t()> TickCount;
    std::function<DisplayMode()> CurrentDisplayMode;
    std::function<unsigned(const QByteArray &commandLine)> Execute;

    // The running-time text drawn last.
    const QString &LastUptime() const { return LastUptimeText; }

protected:
    void Form_Load() override;
    void Form_Unload() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The README the link opens, written out from the program's resources, as a file:// address;
    // empty when it could not be written.
    static QString ReadmeAddress();

    QLabel *AppImg;
    QLabel *lblVersion;
    QLabel *lblBild;
    QLabel *lblCN;
    QLabel *lblUsr;
    QLabel *lblwo;
    QLabel *picWinOn;
    QLabel *lblDisp;
    QLabel *lblProgrammer;
    QLabel *lblurl;
    QTimer *tmr;
    QTimer *tmrD;

    QString LastUptimeText;
};
