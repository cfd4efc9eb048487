// The Start menu page: what the Start menu offers.
#pragma once

#include "PolicyPage.h"

class frmPusk : public PolicyPage
{
    Q_OBJECT

public:
    explicit frmPusk(QWidget *parent = nullptr);

protected:
    std::vector<PolicyBinding> FillBindingTable() const override;
    void ApplyPageRules() override;
};
