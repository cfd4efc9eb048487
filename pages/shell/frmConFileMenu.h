// The file context menu editor: adds, changes and removes the entries of Explorer's context
// menu for all files or for the file type an extension is registered to. Every change is
// written at once, after the question.
#pragma once

#include "Page.h"
#include "Reg.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

class frmConFileMenu : public Page
{
    Q_OBJECT

public:
    explicit frmConFileMenu(QWidget *parent = nullptr);

protected:
    void Form_Load() override;
    // Every change is written when it is confirmed: closing has nothing to save.
    void Form_Unload() override {}

private:
    void OptAF_Click();
    void OptOF_Click();
    void txtExt_Change();
    void cmdfind_Click();
    void lstMenu_Click(int row);
    void cmdadd_Click();
    void cmdEdit_Click();
    void cmdDel_Click();

    void EnableItemButtons(bool enabled);
    void RefreshMenuList();
    void ListMenuItems(const QString &key);

    // The key the items of the current mode live under (below HKEY_CLASSES_ROOT).
    QString ItemBaseKey() const;
    // The list entry at SelIndex; empty when SelIndex names none (the list was rebuilt shorter).
    QString SelectedEntry() const;
    // The registry view the entry at SelIndex was listed from; edits and deletions stay in it.
    Reg::View SelectedView() const;
    // False, after telling the user, when no item name was typed.
    bool NameTyped();
    void WriteItem(Reg::View view);
    void ClearItemFields();

    QRadioButton *OptAF;
    QRadioButton *OptOF;
    QLabel *lblExt;
    QLineEdit *txtExt;
    QPushButton *cmdfind;
    QListWidget *lstMenu;
    QPushButton *cmdadd;
    QPushButton *cmdEdit;
    QPushButton *cmdDel;
    QLabel *lblName;
    QLineEdit *txtCaption;
    QLabel *lblCap;
    QLineEdit *txtSub;
    QLabel *lblCmd;
    QLineEdit *txtCmd;
    QLabel *lblHelp;

    // The item base key of the last list refresh or click; every write and deletion uses it.
    QString ShellKey;
    // The entry the user last clicked; Edit and Delete act on it.
    qint16 SelIndex = 0;
};
