// The Explorer page: menus and options of the file and web browser windows.
#pragma once

#include "PolicyPage.h"

class frmExplorer : public PolicyPage
{
public:
    explicit frmExplorer(QWidget *parent = nullptr);
};
