// A page of check boxes, each bound to one switch in the registry: ticked when the switch reads
// "1", saved as REG_DWORD 0 or 1 for every box when a changed page closes and the user says Yes.
//
// A page is its declaration: the binding table (one row per box), the groups of boxes that only
// matter while their master box is unticked, and the boxes that one platform does not honour.
// This class loads, tracks and saves every page the same way.
#pragma once

#include "Page.h"
#include "win32.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

class QCheckBox;

// Where box i's switch lives: a root, a key and a value name. Most keys lie below the policies
// key ("Software\Microsoft\Windows\CurrentVersion\Policies"), which `underPolicies` adds.
struct PolicySwitch {
    std::uint32_t root; // the predefined root's code, as HKEY_CURRENT_USER etc. carry it
    bool underPolicies;
    const char *key; // a suffix ("\Explorer") below the policies key, else the full key path
    const char *valueName;
};

constexpr std::uint32_t kCurrentUser = 0x80000001u;
constexpr std::uint32_t kLocalMachine = 0x80000002u;

constexpr PolicySwitch UnderPolicies(const char *suffix, const char *valueName, std::uint32_t root = kCurrentUser)
{
    return {root, true, suffix, valueName};
}

constexpr PolicySwitch AtKey(const char *key, const char *valueName, std::uint32_t root = kCurrentUser)
{
    return {root, false, key, valueName};
}

// The browser's restrictions key.
constexpr auto kIERestrictionsKey = "Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions";

// Boxes `first` to `last` are enabled while box `master` is unticked; they keep their ticks.
struct DependencyGroup {
    int master;
    int first;
    int last;
};

// What a platform does to boxes `first` to `last` at the end of loading.
struct PlatformRule {
    enum Kind {
        EnabledOnNTOnly,   // disabled on Windows 9x
        EnabledOn9xOnly,   // disabled on Windows NT
        HiddenOnNT,        // shown on Windows 9x only
        AlwaysOffDisabled, // always loads unticked and cannot be ticked, so a save writes 0
    } kind;
    int first;
    int last;
};

struct PolicyPageDeclaration {
    const char *className;
    int firstCaptionId; // box i's caption is this ID + i
    std::span<const PolicySwitch> switches;
    std::span<const DependencyGroup> groups = {};
    std::span<const PlatformRule> rules = {};
    bool stateBeforeCaption = false; // set each box's state before its caption
    bool boxesFollowWidth = true;    // box widths follow the page's width on resizing
};

class PolicyPage : public Page
{
    Q_OBJECT

public:
    // The check box with that index (the control array `chk`).
    QCheckBox *chk(int index) const { return boxes_.at(static_cast<size_t>(index)); }
    int BoxCount() const { return static_cast<int>(boxes_.size()); }

    // The caption of the page's box bound to value `name` of key `target` (the root's name and
    // the key path), in the interface language; empty when no box is.
    static QString CaptionOfSwitch(const PolicyPageDeclaration &page, std::string_view target, std::string_view name);

protected:
    PolicyPage(const PolicyPageDeclaration &declaration, QWidget *parent);

    void Form_Load() override;
    void Save() override;
    // The shared question, with a warning when the save switches on a restriction that can
    // block the way back to the machine's settings.
    QString SaveQuestion() const override;
    void chk_Click(int Index);

private:
    struct Binding {
        win::HKEY root;
        QString keyPath;
        QString valueName;
    };

    void FillBindingTable();
    void LoadBox(int index);
    void UpdateDependents();
    void ApplyPlatformRules();
    bool IsIndented(int index) const;

    PolicyPageDeclaration declaration_;
    std::vector<QCheckBox *> boxes_;
    std::vector<Binding> bindings_;
    std::vector<bool> loadedTicks_; // each box as loaded, to tell which switches a save turns on
};
