// The Active Desktop page: wallpaper and desktop components.
#pragma once

#include "PolicyPage.h"

class frmActDesk : public PolicyPage
{
public:
    explicit frmActDesk(QWidget *parent = nullptr);
    // The caption of the box bound to a value, as the catalogue asks for it.
    static QString SettingCaption(std::string_view target, std::string_view name);
};
