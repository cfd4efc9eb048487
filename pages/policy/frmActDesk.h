// The Active Desktop page: wallpaper and desktop components.
#pragma once

#include "PolicyPage.h"

class frmActDesk : public PolicyPage
{
public:
    explicit frmActDesk(QWidget *parent = nullptr);
};
