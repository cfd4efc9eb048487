// The taskbar buttons page: the Start button, the desktop, the taskbar and its notification
// area of the running shell. It shows the selected element's size or position, moves or sizes
// it as numbers are typed, and shows, hides, enables or disables it, all at once on the live
// windows. Nothing is stored.
#pragma once

#include "Page.h"
#include "win32.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class ShellWindows;

class frmSysBtn : public Page
{
    Q_OBJECT

public:
    explicit frmSysBtn(QWidget *parent = nullptr);

protected:
    void Form_Load() override;
    // Every change acts on the live windows at once: closing has nothing to save.
    void Form_Unload() override {}

private:
    void cboSE_Click(int row);
    void optSize_Click();
    void optPos_Click();
    void TxtX_Change();
    void TxtY_Change();
    void btnSH_Click();
    void btnED_Click();

    void ShowPlacement();
    void ApplyPlacement();
    win::HWND FindElement(int row) const;

    QLabel *lblsi;
    QComboBox *cboSE;
    QRadioButton *optSize;
    QRadioButton *optPos;
    QLabel *lblX;
    QLineEdit *TxtX;
    QLabel *lblY;
    QLineEdit *TxtY;
    QPushButton *btnSH;
    QPushButton *btnED;

    ShellWindows &windows_;
    // The selected element's window; null while none is selected or when it is not found.
    win::HWND ElementWnd = nullptr;
};

// A number rounded to a 32-bit integer, halves to even; out-of-range numbers are held at the
// nearest end of the range.
int RoundToLong(double number);
