// The System page: the desktop, the registry editors and window refresh.
#pragma once

#include "PolicyPage.h"

class frmKorv : public PolicyPage
{
    Q_OBJECT

public:
    explicit frmKorv(QWidget *parent = nullptr);

protected:
    std::vector<PolicyBinding> FillBindingTable() const override;
};
