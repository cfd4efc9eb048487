#include "frmKorv.h"

namespace
{

constexpr int kBoxes = 5;

// Box i: root, key path and value name.
const win::HKEY kRoots[kBoxes] = {HKEY_CURRENT_USER, HKEY_CURRENT_USER, HKEY_CURRENT_USER, HKEY_CURRENT_USER,
                                  HKEY_LOCAL_MACHINE};
const QString kKeyPaths[kBoxes] = {
    kPoliciesBasePath + "\\Explorer",
    kPoliciesBasePath + "\\Explorer",
    kPoliciesBasePath + "\\Explorer",
    kPoliciesBasePath + "\\System",
    QStringLiteral("SYSTEM\\CurrentControlSet\\Control\\Update"),
};
const char *const kValueNames[kBoxes] = {"NoDesktop", "NoNetHood", "NoSaveSettings", "DisableRegistryTools",
                                         "UpdateMode"};

} // namespace

frmKorv::frmKorv(QWidget *parent) : PolicyPage(QStringLiteral("frmKorv"), {kBoxes, 260, {}}, parent) {}

std::vector<PolicyBinding> frmKorv::FillBindingTable() const
{
    std::vector<PolicyBinding> table;
    for (int i = 0; i < kBoxes; ++i)
        table.push_back({kRoots[i], kKeyPaths[i], QString::fromLatin1(kValueNames[i])});
    return table;
}
