// TCP/IP tuning of the Windows 9x network stack and the lmhosts host-name file.
//
// The top half shows the largest packet (MaxMTU) and segment (MaxMSS) of one adapter's TCP/IP
// binding and the default time to live; Apply writes them, with the default receive window,
// after the shared question. The frame below keeps the lmhosts file of the Windows directory:
// Add writes a new address and name at once, Delete removes the selected line after the
// question. The file is written back whole, every line the user did not touch byte for byte.
#pragma once

#include "Page.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class frmInetOpti : public Page
{
    Q_OBJECT

public:
    explicit frmInetOpti(QWidget *parent = nullptr);

protected:
    // The page keeps no changed flag: tuning values not applied are dropped when it closes.
    void Form_Load() override;

private:
    void FillAdapters();
    void LoadHosts();
    void SaveHosts();

    void cbAdap_Click(int index);
    void cmdAP_Click();
    void txtMTU_Change();
    void txtTTL_Change();
    void ip_Change(QLineEdit *part);
    void cmdadd_Click();
    void cmdDel_Click();

    // Enables what needs an adapter, and what needs the adapter's TCP/IP binding.
    void EnableTuning(bool adapter, bool binding);
    // Add only for four address parts of 0 to 255 and a host name; the host controls only when
    // the host file could be read (or is not there yet).
    void UpdateHostButtons();
    QString NetTransKey() const;

    QLabel *lblMTU;
    QLineEdit *txtMTU;
    QLabel *lblMSS;
    QLineEdit *txtMSS;
    QLabel *lblTTL;
    QLineEdit *txtTTL;
    QPushButton *cmdAP;
    QComboBox *cbAdap;
    QLabel *lblH;
    QGroupBox *Frame1;
    QLineEdit *txtHost;
    QLineEdit *ip1;
    QLineEdit *ip2;
    QLineEdit *ip3;
    QLineEdit *ip4;
    QListWidget *lslHosts;
    QPushButton *cmdadd;
    QPushButton *cmdDel;
    QLabel *lblh2;

    // The adapter instance of the selected adapter, the same under "Enum\Root\Net" and
    // "NetTrans".
    QString AdapterKey;
    bool bindingExists_ = false;
    bool hostsReadable_ = true;
};
