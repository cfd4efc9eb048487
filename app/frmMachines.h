// The chooser of the machine: every Wine prefix found (its name, where it was found, its Windows
// version, whether a Wine program runs on it, its last change), every Windows 95/98/ME disk
// image an emulator lists (its name, the emulator, its Windows version), and any other folder
// or image file the user picks. Keyboard: the arrows move, Enter chooses, Escape cancels, Alt+O
// picks another folder, Alt+D a disk image.
#pragma once

#include <QDialog>
#include <QString>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class frmMachines : public QDialog
{
    Q_OBJECT

public:
    explicit frmMachines(QWidget *parent = nullptr);

    // The folder and name chosen; empty until the dialog was accepted.
    QString ChosenFolder() const { return chosenFolder_; }
    QString ChosenName() const { return chosenName_; }

    void Form_Load();
    void cmdOK_Click();
    void cmdOther_Click();
    // Chooses `folder` when it is a Wine prefix; otherwise says why not and stays open.
    void ChooseOtherFolder(const QString &folder);
    // Picks a disk image file; chooses it when it holds Windows 95/98/ME, else says why not.
    void cmdImage_Click();
    void ChooseImage(const QString &image);

private:
    void Choose(const QString &folder, const QString &name);
    // Makes the dialog tall enough for the list to show `rows` machines before it scrolls.
    void ShowRows(int rows);

    QTreeWidget *lstMachines = nullptr;
    QPushButton *cmdOther = nullptr;
    QPushButton *cmdImage = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
    QString chosenFolder_;
    QString chosenName_;
};
