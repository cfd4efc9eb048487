// The Internet Explorer page: what the browser lets users do.
#pragma once

#include "PolicyPage.h"

class frmIErestrict : public PolicyPage
{
    Q_OBJECT

public:
    explicit frmIErestrict(QWidget *parent = nullptr);

protected:
    std::vector<PolicyBinding> FillBindingTable() const override;
    void ApplyPageRules() override;
    void AfterClick(int index) override;

private:
    void UpdateDependents();
};
