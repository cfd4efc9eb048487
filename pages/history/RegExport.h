// Recorded changes as a REGEDIT4 file, the form the registry editor of Windows 95, 98 and ME
// imports: CR LF line ends, text in the ANSI code page of the interface language (1251 for
// Russian, 1252 otherwise), "[-key]" and "value"=- for deletions, hex forms for binary data and
// expandable strings, and hex(1) for a string holding a line break. A change a .reg file cannot
// carry (files, attributes, drives, profile strings, and a key or value whose name holds a line
// break) is listed in the comment lines at the top. No name or text ever ends a line early.
#pragma once

#include "journal.h"

#include <QByteArray>
#include <vector>

enum class AnsiCodePage { Western1252, Cyrillic1251 };

// The file's bytes for `changes`, applied oldest first.
QByteArray RegExportBytes(const std::vector<journal::Record> &changes, AnsiCodePage codePage);
