// The browser title and toolbar page: the text in Internet Explorer's title bar, the version
// text of its About box and the picture behind its toolbar. The values are read when the page
// opens and written, each under both the machine and the user root, only by Apply after the
// shared question; closing the page asks nothing.
#pragma once

#include "Page.h"

#include <string_view>

class QLabel;
class QLineEdit;
class QPushButton;

class frmIETB : public Page
{
    Q_OBJECT

public:
    explicit frmIETB(QWidget *parent = nullptr);
    // The label of the box that shows a value, as the catalogue asks for it.
    static QString SettingCaption(std::string_view target, std::string_view name);

protected:
    void Form_Load() override;
    void Form_Unload() override {}

private:
    void cmdbrowse_Click();
    void cmdAP_Click();

    QLabel *lblDC;
    QLineEdit *txtDC;
    QLabel *lblVer;
    QLineEdit *txtVer;
    QLabel *lblTBI;
    QLineEdit *txtTBI;
    QPushButton *cmdbrowse;
    QPushButton *cmdAP;
};
