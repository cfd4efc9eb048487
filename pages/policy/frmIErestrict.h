// The Internet Explorer page: what the browser lets users do.
#pragma once

#include "PolicyPage.h"

class frmIErestrict : public PolicyPage
{
public:
    explicit frmIErestrict(QWidget *parent = nullptr);
};
