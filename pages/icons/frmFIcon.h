// The file type icon page: the icon the shell shows for every file of one extension. The
// extension is looked up on every keystroke (its file type and that type's DefaultIcon); Apply
// writes the chosen .ico file as the type's icon at once, first registering a file type of the
// page's own for an extension that has none.
#pragma once

#include "Page.h"
#include "Reg.h"

class QLabel;
class QLineEdit;
class QPushButton;

class frmFIcon : public Page
{
    Q_OBJECT

public:
    explicit frmFIcon(QWidget *parent = nullptr);

    // The file part of an icon location: everything before its last comma, the whole text when
    // it has none, "Error" for a text of fewer than four characters.
    static QString GetFIP(const QString &lStr);

protected:
    void Form_Load() override;
    void Form_Unload() override {}

private:
    void LoadFileType();
    void TxtRas_Change();
    void TxtCurIco_Change();
    void cmdbrowse_Click();
    void cmdNewIco_Click();

    QLineEdit *Text2;
    QLineEdit *TxtRas;
    QLabel *Label1;
    QLineEdit *TxtFileInf;
    QLabel *Label4;
    QLineEdit *TxtCurIco;
    QLabel *Label2;
    QLabel *img;
    QLineEdit *TxtSelIco;
    QLabel *Label3;
    QLabel *img2;
    QPushButton *cmdbrowse;
    QPushButton *cmdNewIco;

    QString extensionKey_;
    QString fileType_;
    // The registry view the extension was found in; its type's icon is changed there.
    Reg::View typeView_ = Reg::View::Both;
    QString currentIcon_;
    QString newIcon_;
};
