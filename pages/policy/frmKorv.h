// The System page: the desktop, the registry editors and window refresh.
#pragma once

#include "PolicyPage.h"

class frmKorv : public PolicyPage
{
public:
    explicit frmKorv(QWidget *parent = nullptr);
    // The caption of the box bound to a value, as the catalogue asks for it.
    static QString SettingCaption(std::string_view target, std::string_view name);
};
