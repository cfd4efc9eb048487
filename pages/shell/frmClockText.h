// The clock text page: the texts Windows shows beside the time (the morning and afternoon
// designators of the user's regional settings) and where they stand, through one of three fixed
// 24-hour time formats. Apply writes at once after the question; closing writes nothing.
#pragma once

#include "Page.h"

#include <string_view>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

class frmClockText : public Page
{
    Q_OBJECT

public:
    explicit frmClockText(QWidget *parent = nullptr);
    // The label of the box or group that shows a value, as the catalogue asks for it.
    static QString SettingCaption(std::string_view target, std::string_view name);

protected:
    void Form_Load() override;
    // Nothing is saved on closing: only Apply writes.
    void Form_Unload() override {}

private:
    void txtAM_Change();
    void txtPM_Change();
    void chkOne_Click();
    void optL_Click();
    void optR_Click();
    void optS_Click();
    void cmdAP_Click();

    // Chooses the format of the position option at `index` (0 Left, 1 Right, 2 Left & Right).
    void SelectPosition(int index);
    void ShowPreview();
    void EnableApply();

    QLabel *lblAM;
    QLineEdit *txtAM;
    QLabel *lblPM;
    QLineEdit *txtPM;
    QCheckBox *chkOne;
    QLabel *lblPos;
    QRadioButton *optL;
    QRadioButton *optR;
    QRadioButton *optS;
    QLabel *lblP;
    QLabel *lbl1;
    QLabel *lbl2;
    QPushButton *cmdAP;
    QLabel *lblHLP;

    // The time format Apply writes.
    QString TimeFormat;
};
