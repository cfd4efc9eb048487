// The auto-mount list page: the folders that become drive letters at every Windows start, kept
// in Tolvane.ini in the system directory, and the switch that installs Tolvane (Korvex's
// embedded log-on helper) in the machine-wide Run key. Every Save and Delete rewrites the list
// file at once, every line the user did not touch byte for byte; the page keeps nothing to save
// when it closes.
#pragma once

#include "Page.h"

#include <cstddef>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class frmVHDDrun : public Page
{
    Q_OBJECT

public:
    explicit frmVHDDrun(QWidget *parent = nullptr);

    // True when some entry of the list is exactly `sil` (case counts).
    bool in_list(const QString &sil) const;

protected:
    void Form_Load() override;
    // The list is written after every change, so closing asks nothing.
    void Form_Unload() override {}

private:
    void chkAutorun_Click();
    void cboD_Click();
    void btnN_Click();
    void btnS_Click();
    void btnD_Click();
    void btnsN_Click();
    void btnC_Click();

    void FillFreeLetters();
    void LoadMountList();
    // Writes the list; after a failure the page shows what the file still holds.
    void SaveMountList();
    // Where the entry shown at `index` is in lines_ (lines_.size() when nowhere).
    std::size_t LineOfEntry(int index) const;
    // Takes the entry at `index` out of the page and out of the lines to be written.
    void RemoveEntry(int index);

    // Selects an entry of the list, raising cboD_Click also when it was selected already.
    void SelectEntry(int index);
    void ShowEditor(bool editing);
    void CloseEditor();
    void InstallTolvane();

    QCheckBox *chkAutorun;
    QGroupBox *frameO;
    QLabel *Label1;
    QComboBox *cboD;
    QLabel *Label2;
    QLineEdit *txtP;
    QPushButton *btnN;
    QPushButton *btnS;
    QPushButton *btnD;
    QGroupBox *FrameN;
    QLabel *Label3;
    QComboBox *cbodN;
    QLabel *Label4;
    QLineEdit *txtpN;
    QPushButton *btnsN;
    QPushButton *btnC;
    // The folders of the entries, parallel to cboD; never shown.
    QComboBox *cboP;

    // One line of Tolvane.ini as it is in the file, and whether it is an entry the page shows.
    // Lines the user does not touch are written back byte for byte, those Tolvane skips too.
    struct ListLine {
        std::string bytes;
        bool entry;
    };
    std::vector<ListLine> lines_;

    QString IniPath;
    bool EditMode = false;
    int CurIndex = 0;
    bool loading_ = false;
};
