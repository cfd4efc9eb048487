// The Start menu page: what the Start menu offers.
#pragma once

#include "PolicyPage.h"

class frmPusk : public PolicyPage
{
public:
    explicit frmPusk(QWidget *parent = nullptr);
    // The caption of the box bound to a value, as the catalogue asks for it.
    static QString SettingCaption(std::string_view target, std::string_view name);
};
