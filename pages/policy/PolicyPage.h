// A page of check boxes, each bound to one switch in the registry: ticked when the switch reads
// "1", saved as REG_DWORD 0 or 1 for every box when a changed page closes and the user says Yes.
#pragma once

#include "Page.h"
#include "win32.h"

#include <QString>
#include <vector>

class QCheckBox;

// One row of a page's binding table: where box i's switch lives.
struct PolicyBinding {
    win::HKEY root;
    QString keyPath;
    QString valueName;
};

// The part of the key paths most switches share.
extern const QString kPoliciesBasePath;
// The browser's restrictions key.
extern const QString kIERestrictionsKey;

class PolicyPage : public Page
{
    Q_OBJECT

public:
    // The check box with that index (the control array `chk`).
    QCheckBox *chk(int index) const { return boxes_.at(static_cast<size_t>(index)); }
    int BoxCount() const { return static_cast<int>(boxes_.size()); }

protected:
    struct Shape {
        int boxCount;
        int firstCaptionId;
        std::vector<int> indentedBoxes; // dependent boxes, drawn to the right of their master
        bool stateBeforeCaption = false;
        bool boxesFollowWidth = true; // box widths follow the page's width on resizing
    };

    PolicyPage(const QString &className, const Shape &shape, QWidget *parent = nullptr);

    // The page's binding table in box order.
    virtual std::vector<PolicyBinding> FillBindingTable() const = 0;
    // The page's platform and dependency rules, applied at the end of loading.
    virtual void ApplyPageRules() {}
    // What a click does beyond marking the page changed.
    virtual void AfterClick(int index) { Q_UNUSED(index); }

    void Form_Load() override;
    void Form_Unload() override;
    void Form_Resize() override;
    void chk_Click(int Index);

private:
    void LoadBox(int index);
    bool IsIndented(int index) const;

    Shape shape_;
    std::vector<QCheckBox *> boxes_;
    std::vector<PolicyBinding> bindings_;
};
