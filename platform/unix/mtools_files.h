// Files and folders inside a FAT file system of a disk image, through the mtools programs
// (mcopy, mattrib, mdir, mmd, mrd, mdel, mren) run as child processes on `image@@offset`.
//
// mtools runs with Korvex's own settings only: HOME and MTOOLSRC point at a folder Korvex
// writes, every global setting is given there and in the environment (the user's ~/.mtoolsrc
// and MTOOLS_* variables are not passed on), names are exchanged in UTF-8 (LC_ALL=C.UTF-8),
// and short names are made in the guest's OEM code page. Paths are Windows paths from the
// file system's root ("WINDOWS\\SYSTEM.DAT"; "/" also separates, a drive letter is ignored).
//
// Every function returns ERROR_SUCCESS or a Win32 code; LastMessage() then says what mtools
// reported. Codes: ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND (missing), ERROR_DISK_FULL,
// ERROR_ALREADY_EXISTS, ERROR_BAD_PATHNAME (a name FAT cannot hold), ERROR_ACCESS_DENIED and
// ERROR_SHARING_VIOLATION (changes refused, see Hooks), ERROR_NOT_SUPPORTED (mtools missing),
// ERROR_INVALID_DATA (a written file read back differently), ERROR_WRITE_FAULT (anything else).
#pragma once

#include "fat_reader.h"
#include "win32.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace win::image
{

struct MtoolsSettings {
    std::string folder;      // where Korvex's mtools settings are written; mtools' HOME
    unsigned codePage = 437; // the guest's OEM code page (437 US, 850, 866 Russian, ...)
};

// What the owner of the image adds around every change.
struct FatFilesHooks {
    // Asked before a change; anything but ERROR_SUCCESS refuses it (an emulator started, the
    // image is read-only), and `why` says why.
    std::function<LONG(std::string &why)> allowChange;
    // Told after mtools changed the entry or the contents of `path`.
    std::function<void(const std::string &path)> changed;
    // Makes every change so far durable (flushed to the image file, written back to the real
    // image); the replace sequence calls it where a crash must not lose what came before.
    // `why` says what failed.
    std::function<LONG(std::string &why)> makeDurable;
};

// A replacement written by FatFiles::WriteReplacement and not yet put in place.
struct Replacement {
    std::string path;      // the file as stored
    std::string fresh;     // what was written: NAME.NEW, or the file itself when it was not there
    bool madeKept = false; // NAME.KVX was made for it
};

struct FolderItem {
    std::string name; // as stored: the long name, else the short one
    bool folder = false;
};

class FatFiles
{
public:
    // `image` is a plain file (a raw image or a raw working copy) holding the file system at
    // byte `offset`. Writes the settings file into `settings.folder` when it is missing.
    FatFiles(std::string image, std::uint64_t offset, MtoolsSettings settings, FatFilesHooks hooks = {});

    LONG ReadFile(const std::string &path, std::string &bytes);
    // Writes a file so that a crash or a full disk at any point leaves the old or the new file:
    // with `keepOriginal` the first original is kept as NAME.KVX (once, never overwritten); the
    // new bytes go to NAME.NEW, which is read back by an independent reader and compared, gets
    // the old file's attributes, and is renamed over the old file in one mren. The old file is
    // untouched until the new one has been checked. A new file is written (and checked) under
    // its own name; a failed write leaves nothing behind. A read-only file is replaced too
    // (SYSTEM.DAT is one) and stays read-only.
    LONG ReplaceFile(const std::string &path, const std::string &bytes, bool keepOriginal = false);
    // ReplaceFile in two halves, so that several files are all written before any is put in
    // place: the first writes and checks NAME.NEW (a new file under its own name), flushed, and
    // leaves the old file as it is; on failure nothing is left behind.
    LONG WriteReplacement(const std::string &path, const std::string &bytes, bool keepOriginal, Replacement &written);
    // Puts NAME.NEW in place of the old file in one mren.
    LONG PutReplacementInPlace(const Replacement &written);
    // Removes what WriteReplacement wrote, for a replacement that is not to be put in place.
    void DropReplacement(const Replacement &written);
    // The FILE_ATTRIBUTE_* bits (READONLY, HIDDEN, SYSTEM, DIRECTORY, ARCHIVE); 0 for a file
    // with none of them.
    LONG GetAttributes(const std::string &path, DWORD &attributes);
    // Sets READONLY, HIDDEN, SYSTEM and ARCHIVE as given in `attributes`; other bits are ignored.
    LONG SetAttributes(const std::string &path, DWORD attributes);
    bool Exists(const std::string &path);
    // The entries of a folder ("" the root), in stored order.
    LONG ListFolder(const std::string &path, std::vector<FolderItem> &items);
    LONG MakeFolder(const std::string &path);
    // Deletes a file (whatever its attributes: the caller applies the read-only rule it wants)
    // or an empty folder.
    LONG Delete(const std::string &path);
    // Renames within the same folder or moves; fails with ERROR_ALREADY_EXISTS over an entry.
    LONG Rename(const std::string &from, const std::string &to);
    // When `path` is missing but a NAME.NEW beside it is there and `check` accepts its bytes,
    // a replace was cut short after the old file was deleted: renames NAME.NEW to `path`.
    // `finished` tells whether it did.
    LONG FinishInterruptedReplace(const std::string &path, const std::function<bool(const std::string &)> &check,
                                  bool &finished);

    // What mtools (or the check) said about the last failure, for messages.
    const std::string &LastMessage() const { return message_; }
    const std::string &Image() const { return image_; }
    std::uint64_t Offset() const { return offset_; }

    // The name a replace writes first, and the name the first original is kept as.
    static std::string NewNameOf(const std::string &path) { return WithExtension(path, "NEW"); }
    static std::string KeptNameOf(const std::string &path) { return WithExtension(path, "KVX"); }

private:
    static std::string WithExtension(const std::string &path, const char *extension);

    LONG Mtools(const std::vector<std::string> &arguments, std::string *out = nullptr);
    LONG CopyIn(const std::string &bytes, const std::string &path);
    LONG Allowed();
    LONG Durable();
    void Changed(const std::string &path);
    LONG Attrib(const std::string &path, DWORD attributes);
    LONG ReadBackEquals(const std::string &path, const std::string &bytes);
    LONG KeepOriginal(const std::string &path, bool &made);
    LONG Fail(LONG code, std::string message);
    std::vector<std::string> Environment() const;

    std::string image_;
    std::uint64_t offset_;
    MtoolsSettings settings_;
    FatFilesHooks hooks_;
    std::string message_;
    std::set<std::string> kept_; // paths whose NAME.KVX is known to exist
};

} // namespace win::image
