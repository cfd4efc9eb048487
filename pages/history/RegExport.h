// Recorded changes as a REGEDIT4 file, the form the registry editor of Windows 95, 98 and ME
// imports: CR LF line ends, text in the ANSI code page of the interface language (1251 for
// Russian, 1252 otherwise), "[-key]" and "value"=- for deletions, hex forms for binary data and
// expandable strings. A change a .reg file cannot carry (files, attributes, drives, profile
// strings) is listed in the comment lines at the top.
#pragma once

#include "journal.h"

#include <QByteArray>
#include <vector>

enum class AnsiCodePage { Western1252, Cyrillic1251 };

// The file's bytes for `changes`, applied oldest first.
QByteArray RegExportBytes(const std::vector<journal::Record> &changes, AnsiCodePage codePage);
