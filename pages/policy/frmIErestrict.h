// The Internet Explorer page: what the browser lets users do.
#pragma once

#include "PolicyPage.h"

class frmIErestrict : public PolicyPage
{
public:
    explicit frmIErestrict(QWidget *parent = nullptr);
    // The caption of the box bound to a value, as the catalogue asks for it.
    static QString SettingCaption(std::string_view target, std::string_view name);
};
