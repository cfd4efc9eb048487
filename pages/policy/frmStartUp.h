// The logon message page: the title and text that Windows shows before the user logs on,
// switched on or off as a whole. Nothing is written while the page is open; closing it asks
// whether to save, and a Yes writes both values or deletes both.
#pragma once

#include "Page.h"

#include <string_view>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class frmStartUp : public Page
{
    Q_OBJECT

public:
    explicit frmStartUp(QWidget *parent = nullptr);
    // The label of the box that shows a value, as the catalogue asks for it.
    static QString SettingCaption(std::string_view target, std::string_view name);

protected:
    void Form_Load() override;
    void Save() override;

private:
    void chkYN_Click();
    void txtTitle_Change();
    void txtText_Change();
    void cmdOk_Click();

    QCheckBox *chkYN;
    QLabel *lblTitle;
    QLineEdit *txtTitle;
    QLabel *lblText;
    QPlainTextEdit *txtText;
    QPushButton *cmdOk;
    QLabel *lblHelp;
};
