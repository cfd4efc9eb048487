// The chooser of the machine: every Wine prefix found (its name, where it was found, its Windows
// version, whether a Wine program runs on it, its last change) and any other folder the user
// picks. Keyboard: the arrows move, Enter chooses, Escape cancels, Alt+O picks another folder.
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

private:
    void Choose(const QString &folder, const QString &name);

    QTreeWidget *lstMachines = nullptr;
    QPushButton *cmdOther = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
    QString chosenFolder_;
    QString chosenName_;
};
