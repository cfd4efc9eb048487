// The Control Panel page: which settings pages users may open.
#pragma once

#include "PolicyPage.h"

class frmControlPanel : public PolicyPage
{
    Q_OBJECT

public:
    explicit frmControlPanel(QWidget *parent = nullptr);

protected:
    std::vector<PolicyBinding> FillBindingTable() const override;
    void ApplyPageRules() override;
    void AfterClick(int index) override;

private:
    void UpdateDependents();
};
