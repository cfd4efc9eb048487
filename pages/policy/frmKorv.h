// The System page: the desktop, the registry editors and window refresh.
#pragma once

#include "PolicyPage.h"

class frmKorv : public PolicyPage
{
public:
    explicit frmKorv(QWidget *parent = nullptr);
};
