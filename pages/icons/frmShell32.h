// The system icons page: the icons the shell draws for its own objects (folders, drives, the
// Start menu's entries, the Recycle Bin...). The shell takes each from shell32.dll by a fixed
// index unless the "Shell Icons" key holds a value named after that index, whose icon location
// it uses instead. The page lists every icon of shell32.dll, shows the one in effect for the
// selected index, and sets or removes a replacement at once, after a question.
#pragma once

#include "Page.h"

class QLabel;
class QListWidget;
class QPushButton;

class frmShell32 : public Page
{
    Q_OBJECT

public:
    explicit frmShell32(QWidget *parent = nullptr);

protected:
    void Form_Load() override;
    void Form_Unload() override {}

private:
    void lstSI_Click();
    void cmdCH_Click();
    void cmdBack_Click();
    void ShowSystemIcon();

    QListWidget *lstSI;
    QLabel *picI;
    QPushButton *cmdCH;
    QPushButton *cmdBack;

    QString shellFile_;
    int lastIndex_ = -1;
    int currentIndex_ = 0;
};
