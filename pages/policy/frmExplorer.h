// The Explorer page: menus and options of the file and web browser windows.
#pragma once

#include "PolicyPage.h"

class frmExplorer : public PolicyPage
{
public:
    explicit frmExplorer(QWidget *parent = nullptr);
    // The caption of the box bound to a value, as the catalogue asks for it.
    static QString SettingCaption(std::string_view target, std::string_view name);
};
