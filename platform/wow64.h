// The registry views of a 64-bit system, as the access rights of RegOpenKeyExA and
// RegCreateKeyExA ask for them (<windows.h> has them on Windows).
//
// KEY_WOW64_32KEY walks a path as a 32-bit program of a 64-bit machine sees it (its Wow6432Node
// keys), KEY_WOW64_64KEY as a 64-bit program does; without either, a handle's own view holds (a
// predefined root: the 64-bit one on Unix), and RegDeleteKeyA walks in its handle's view. A
// machine without Wow6432Node keys has one view, whatever is asked.
#pragma once

#include "win32.h"

#ifndef KEY_WOW64_64KEY
#define KEY_WOW64_64KEY 0x0100
#endif
#ifndef KEY_WOW64_32KEY
#define KEY_WOW64_32KEY 0x0200
#endif
