// The Control Panel page: which settings pages users may open.
#pragma once

#include "PolicyPage.h"

class frmControlPanel : public PolicyPage
{
public:
    explicit frmControlPanel(QWidget *parent = nullptr);
    // The caption of the box bound to a value, as the catalogue asks for it.
    static QString SettingCaption(std::string_view target, std::string_view name);
};
