// Every node of the navigation tree and the page it opens.
#pragma once

#include "PageCatalogue.h"

// The catalogue that start-up installs: the tree in the order its nodes are added.
PageCatalogue AllPages();
