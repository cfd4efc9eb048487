// The browser's address templates: the host patterns that Internet Explorer tries in turn when a
// bare word is typed into its address bar ("%s" stands for the word). The user adds patterns
// "www.%s." or "%s." followed by a domain and removes them; nothing is written while the page is
// open, and closing a changed page asks whether to save the list, numbered afresh from 1.
#pragma once

#include "Page.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class frmSiteFind : public Page
{
    Q_OBJECT

public:
    explicit frmSiteFind(QWidget *parent = nullptr);

protected:
    void Form_Load() override;
    void Save() override;

private:
    void LoadTemplates();
    void SaveTemplates();
    // Deletes the numbered values from `firstNumber` to the highest number the page reads.
    void DeleteTemplates(int firstNumber);
    // Add stays possible only while the list has room for another numbered value.
    void UpdateAddButton();

    void slst_Click(int row);
    void cmdadd_Click();
    void cmdDel_Click();

    QListWidget *slst;
    QCheckBox *chkwww;
    QLineEdit *txtwww;
    QLineEdit *Text2;
    QLineEdit *txtDomen;
    QPushButton *cmdadd;
    QPushButton *cmdDel;
    QLabel *lblHelp;

    // The entry that Delete removes: the one last clicked, 0 after loading and after a delete.
    int SelIndex = 0;
};
