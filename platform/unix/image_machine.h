// A Windows 95/98/ME installation inside a disk image as the machine the `win` functions work
// on. Its registry files (binary, creg_file.h) are shown to the registry functions as the same
// in-memory hives a Wine prefix gives them (hive.h), with names and strings converted from the
// guest's ANSI code page; a change made to such a hive is carried into the registry file it
// came from, and every registry file changed by one call, or inside a change bracket by the
// whole bracket, is written back once, replaced inside the image by the image layer (written
// as *.NEW, read back, renamed; the first original kept as *.KVX).
//
// HKEY_LOCAL_MACHINE is WINDOWS\SYSTEM.DAT (on ME with WINDOWS\CLASSES.DAT as its
// Software\Classes); HKEY_USERS\.DEFAULT is the .DEFAULT key of WINDOWS\USER.DAT, which is also
// HKEY_CURRENT_USER unless user profiles are on: then that is the USER.DAT in the profile folder
// of the user who logged on last.
#pragma once

#include "change_bracket.h"
#include "creg_file.h"
#include "disk_image.h"
#include "hive.h"
#include "machine_store.h"
#include "win32.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace win::detail
{

class ImageMachine final : public BracketMember
{
public:
    // Opens the image and reads its registry files; nothing (with `error`) when it holds no
    // Windows 95/98/ME that can be read.
    static std::unique_ptr<ImageMachine> Open(const std::string &path, std::string &error);
    ~ImageMachine() override;
    ImageMachine(const ImageMachine &) = delete;
    ImageMachine &operator=(const ImageMachine &) = delete;

    // The hive a registry root index (machine_store.h) stands for; null when its file is damaged.
    Hive *Current(int index);

    // Applies `change` to the hive and carries it into the registry file, which is written back
    // before this returns. Nothing changes when `change`, the conversion to the guest's code
    // page, the format's limits or the write refuse it. Inside a bracket (change_bracket.h) the
    // file is written at the bracket's end; a refusal after `change` changed the hive fails the
    // whole bracket.
    LONG Change(int index, const std::function<LONG(Hive &)> &change);

    // Writes every registry file changed since the last flush, each once: all of them beside
    // their originals first, then in place.
    LONG Flush();

    LONG WriteNewFiles() override;
    LONG PutNewFilesInPlace() override;
    void DropChanges() override;

    // Registry files that cannot be read as registry files ("WINDOWS\\USER.DAT").
    std::vector<std::string> DamagedFiles() const;
    // Why the machine cannot be changed (image in use, dirty file system, a registry file that
    // does not pass the strict check); empty when it can.
    std::string ReadOnlyMessage() const;
    // What the last failed change was refused for, for messages.
    const std::string &LastProblem() const { return problem_; }
    // The guest's ANSI code page (HKLM\System\CurrentControlSet\Control\Nls\CodePage "ACP").
    unsigned AnsiCodePage() const { return codePage_; }
    image::DiskImage &Image() { return *image_; }

private:
    struct RegistryFile;
    struct View;

    ImageMachine() = default;
    bool LoadFiles(std::string &error);
    std::string ProfileUserDat();
    void BuildViews();
    void Rebuild(View &view);
    void ReloadFiles();
    LONG Fail(LONG code, std::string why);
    LONG CheckChangeable(const View &view);
    LONG Serialize(RegistryFile &file, std::vector<std::uint8_t> &bytes);
    void Stored(RegistryFile &file, std::vector<std::uint8_t> bytes);
    LONG CarryOver(View &view);
    LONG CarryValues(creg::Hive &hive, const Key &from, creg::Key &to);
    View &ViewOf(int index);

    std::unique_ptr<image::DiskImage> image_;
    std::vector<RegistryFile> files_;
    std::vector<View> views_;
    unsigned codePage_ = 1252;
    std::string problem_;
};

// The image machine in use, or null when the machine is a folder.
ImageMachine *CurrentImageMachine();

} // namespace win::detail
