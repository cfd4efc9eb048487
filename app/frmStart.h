// The main window: the tree window on the left third of its inner area, the current page on
// the right two thirds, and the status strip with the mouse position, the time and the machine
// below.
#pragma once

#include <QMainWindow>
#include <QPoint>
#include <QString>

class QScrollArea;
class QTimer;
class QToolButton;

// The strip along the bottom: the position text at pixel 0 and the time at pixel 70, each
// drawn anew only when it changed, then the machine in use as a button that opens the chooser.
class StatusStrip : public QWidget
{
    Q_OBJECT

public:
    explicit StatusStrip(QWidget *parent = nullptr);

    void SetPositionText(const QString &text);
    void SetTimeText(const QString &text);
    QString PositionText() const { return LastPosText; }
    QString TimeText() const { return LastTimeText; }
    void SetMachineText(const QString &text);
    QToolButton *MachineButton() const { return cmdMachine; }
    // How many times a text was drawn anew since the strip was made.
    int Redraws() const { return redraws_; }

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QString LastPosText;
    QString LastTimeText;
    QToolButton *cmdMachine = nullptr;
    int redraws_ = 0;
};

class frmStart : public QMainWindow
{
    Q_OBJECT

public:
    explicit frmStart(QWidget *parent = nullptr);

    // The inner area that holds the tree window and the page.
    QWidget *Client() const { return client_; }
    StatusStrip *Status() const { return statb; }

    void MDIForm_Load();
    void MDIForm_Resize();
    void tmrStat_Timer();
    // Opens the chooser of the machine and switches to the one chosen.
    void cmdMachine_Click();
    // Makes `folder` the machine: the current page is unloaded the usual way (its save question,
    // its writes going to the machine it was loaded from), the platform is decided anew, the tree
    // rebuilt for it and the About page placed; the choice is remembered and what stands in the
    // way of changes there is reported. Choosing the machine in use changes nothing.
    void SwitchToMachine(const QString &folder, const QString &name);

    // "0012x0034": one-based screen coordinates, four digits at least.
    static QString PositionText(const QPoint &cursor);

    // Takes the size and place the user left the window at last time, else the design size;
    // either way within the screen's available area. Called once, before the window is shown.
    void PlaceOnScreen();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The inner area is at least as large as the current page needs (the page taking two
    // thirds of it); the window scrolls it when the window is smaller.
    void FollowPageMinimum();
    // The outer size below which the window is put back: the design's, where the screen has room.
    QSize MinimumOuterSize() const;
    // "<machine> (<Windows version>) – Korvex", or the program's name alone where the machine is
    // the system Korvex runs on; the window manager marks it while the open page has changes.
    void ShowMachineInTitle();

    QScrollArea *scroller_ = nullptr;
    QWidget *client_ = nullptr;
    StatusStrip *statb = nullptr;
    QTimer *tmrStat = nullptr;
    QPoint CursorPos;
};
