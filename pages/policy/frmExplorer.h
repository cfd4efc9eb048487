// The Explorer page: menus of Explorer windows.
#pragma once

#include "PolicyPage.h"

class frmExplorer : public PolicyPage
{
    Q_OBJECT

public:
    explicit frmExplorer(QWidget *parent = nullptr);

protected:
    std::vector<PolicyBinding> FillBindingTable() const override;
    void ApplyPageRules() override;
};
