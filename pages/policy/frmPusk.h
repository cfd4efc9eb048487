// The Start menu page: what the Start menu offers.
#pragma once

#include "PolicyPage.h"

class frmPusk : public PolicyPage
{
public:
    explicit frmPusk(QWidget *parent = nullptr);
};
