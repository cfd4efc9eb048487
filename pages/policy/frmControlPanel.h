// The Control Panel page: which settings pages users may open.
#pragma once

#include "PolicyPage.h"

class frmControlPanel : public PolicyPage
{
public:
    explicit frmControlPanel(QWidget *parent = nullptr);
};
