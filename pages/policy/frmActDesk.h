// The Active Desktop page: wallpaper and desktop components.
#pragma once

#include "PolicyPage.h"

class frmActDesk : public PolicyPage
{
    Q_OBJECT

public:
    explicit frmActDesk(QWidget *parent = nullptr);

protected:
    std::vector<PolicyBinding> FillBindingTable() const override;
    void ApplyPageRules() override;
    void AfterClick(int index) override;

private:
    void ApplyComponentRule();
};
