// The catalogue of pages: one row per node of the navigation tree, in the order the nodes are
// added. The tree is built from it and the page a node opens is made from it, so a new page is
// one row plus its class. The rows are the pages library's; start-up installs them here.
#pragma once

#include "win32.h"

#include <QString>
#include <span>
#include <string>
#include <string_view>

class Page;

// On which platforms a node exists.
enum class Platforms {
    Every,
    NineXOnly, // only where IsWindowsNT is false
};

// The caption a page shows for the registry value `name` of the key `target` (the root's name
// and the key path, as the journal records it), in the interface language; empty when the page
// shows none for it.
using SettingCaption = QString (*)(std::string_view target, std::string_view name);

struct PageRow {
    const char *key;
    const char *parentKey; // empty for a top-level node, else the key of an earlier row
    int captionId;         // string ID, or 0 for the literal caption
    const char *literal;   // the caption when captionId is 0, the same in every language
    const char *imageKey;  // the tree picture
    Platforms platforms;
    const char *page;                        // the class of the page opened, its objectName; null: the About page
    Page *(*make)();                         // makes that page; null with `page`
    SettingCaption settingCaption = nullptr; // null where the page's settings are no fixed table
};

using PageCatalogue = std::span<const PageRow>;

// The catalogue start-up installed; empty before.
PageCatalogue InstalledPages();
void InstallPages(PageCatalogue pages);

// The row of a key in the installed catalogue, or null (the key shows the About page).
const PageRow *PageRowOf(const QString &key);

// The node's caption in the interface language.
QString CaptionOf(const PageRow &row);

// The caption the page of tree key `pageKey` shows for a registry value; empty when none.
QString SettingCaptionOf(const std::string &pageKey, std::string_view target, std::string_view name);

// Whether a value as the journal names it is value `valueName` of `key` under `root`, for the
// pages' SettingCaption. Names compare without regard to case, as the registry's do.
bool IsValueOf(std::string_view target, std::string_view name, win::HKEY root, const QString &key,
               const QString &valueName);

// A value a page shows under a caption of its own (a string ID).
struct CaptionedValue {
    const char *value;
    int caption;
};

// The caption of the value the journal names, when it is one of `values` of `key` under `root`;
// empty when it is none of them.
QString CaptionAmong(std::string_view target, std::string_view name, win::HKEY root, const QString &key,
                     std::span<const CaptionedValue> values);

// Whether the node exists on a platform.
bool ExistsOn(const PageRow &row, bool windowsNT);
