// Which page a navigation tree key opens.
#pragma once

#include <QString>

class Page;

// A new page for `key`, or null when the key has no page of its own (the tree shows About).
Page *CreatePage(const QString &key);
