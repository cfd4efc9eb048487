#include "image_machine.h"

#include "guest_text.h"
#include "unicode.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace win::detail
{

namespace
{

constexpr const char *kCodePageKey = "System\\CurrentControlSet\\Control\\Nls\\CodePage";
constexpr const char *kLogonKey = "Network\\Logon";
constexpr const char *kControlKey = "System\\CurrentControlSet\\Control";
constexpr const char *kProfileListKey = "Software\\Microsoft\\Windows\\CurrentVersion\\ProfileList";
constexpr unsigned kDefaultCodePage = 1252;

enum FileIndex { kSystemFile = 0, kUserFile = 1, kClassesFile = 2, kProfileFile = 3 };

bool IsStringType(std::uint32_t type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

std::string ToUtf8(unsigned codePage, std::string_view guest)
{
    return Utf16ToUtf8(GuestToUtf16(codePage, guest));
}

std::optional<std::string> ToGuest(unsigned codePage, std::string_view utf8)
{
    return Utf16ToGuest(codePage, Utf8ToUtf16(utf8));
}

ValueData ToHostData(unsigned codePage, const creg::Value &value)
{
    ValueData data;
    data.type = value.type;
    if (IsStringType(value.type))
        data.bytes = Utf16LeBytes(GuestToUtf16(
            codePage, std::string_view(reinterpret_cast<const char *>(value.data.data()), value.data.size())));
    else
        data.bytes = value.data;
    return data;
}

std::optional<std::vector<std::uint8_t>> ToGuestData(unsigned codePage, const ValueData &data)
{
    if (!IsStringType(data.type))
        return data.bytes;
    const auto bytes = Utf16ToGuest(codePage, Utf16LeUnits(data.bytes));
    if (!bytes)
        return std::nullopt;
    return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
}

// Copies a registry file's key and everything below it into an in-memory hive's key, which
// stays marked unchanged: only what is changed later is carried back.
void Fill(unsigned codePage, const creg::Key &from, Key &to)
{
    to.blockUnchanged = true;
    to.childrenSorted = false; // stored order is kept, as Windows 9x enumerates it
    to.valuesSorted = false;
    for (const creg::Value &value : from.values)
        to.values.push_back(
            Value{Name(ToUtf8(codePage, value.name)), {}, std::make_unique<ValueData>(ToHostData(codePage, value))});
    for (const auto &child : from.children) {
        auto key = std::make_unique<Key>();
        key->name = ToUtf8(codePage, child->name);
        key->parent = &to;
        Fill(codePage, *child, *key);
        to.children.push_back(std::move(key));
    }
}

std::string StringOf(const creg::Key *key, std::string_view name)
{
    const creg::Value *value = key ? creg::Hive::FindValue(*key, name) : nullptr;
    if (!value || !IsStringType(value->type))
        return {};
    std::string text(value->data.begin(), value->data.end());
    return text.substr(0, text.find('\0'));
}

bool FlagOn(const creg::Key *key, std::string_view name)
{
    const creg::Value *value = key ? creg::Hive::FindValue(*key, name) : nullptr;
    return value && std::any_of(value->data.begin(), value->data.end(), [](std::uint8_t b) { return b != 0; }) &&
           (IsStringType(value->type) ? StringOf(key, name) != "0" : true);
}

LONG ErrorOf(creg::Fault fault)
{
    switch (fault) {
    case creg::Fault::None: return ERROR_SUCCESS;
    case creg::Fault::NotFound: return ERROR_FILE_NOT_FOUND;
    case creg::Fault::ReadOnly:
    case creg::Fault::NotAllowed: return ERROR_ACCESS_DENIED;
    case creg::Fault::NotRegistry:
    case creg::Fault::Broken: return ERROR_BADDB;
    case creg::Fault::BadName:
    case creg::Fault::BadData:
    case creg::Fault::TooLarge: return ERROR_INVALID_PARAMETER;
    }
    return ERROR_BADDB;
}

std::vector<std::string> PathOf(const Key &key)
{
    std::vector<std::string> path;
    for (const Key *k = &key; k->parent; k = k->parent)
        path.push_back(k->name);
    return {path.rbegin(), path.rend()};
}

} // namespace

struct ImageMachine::RegistryFile {
    std::string path; // inside the image, from the file system's root
    creg::Hive hive;
    std::vector<std::uint8_t> bytes; // as the image holds it now
    bool present = false;
    bool damaged = false;
    bool dirty = false;
    // Written beside the file for the bracket's end, not yet in place.
    std::optional<image::Replacement> written;
    std::vector<std::uint8_t> writtenBytes;
};

struct ImageMachine::View {
    int file = kSystemFile;
    std::vector<std::string> prefix; // guest names from the file's root
    int graft = -1;                  // the file shown as Software\Classes, or -1
    Hive hive;
    bool built = false;
};

ImageMachine::~ImageMachine()
{
    Withdraw(*this);
}

std::unique_ptr<ImageMachine> ImageMachine::Open(const std::string &path, std::string &error)
{
    std::unique_ptr<ImageMachine> machine(new ImageMachine);
    image::ImageOptions options;
    options.checkLeftNewFile = [](const std::string &, const std::string &bytes) {
        return creg::Check(std::span(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size())).empty();
    };
    machine->image_ = image::DiskImage::Open(path, options, error);
    if (!machine->image_ || !machine->LoadFiles(error))
        return nullptr;
    machine->BuildViews();
    return machine;
}

bool ImageMachine::LoadFiles(std::string &error)
{
    const std::string windows = image_->WindowsFolder() + "\\";
    files_.resize(kProfileFile + 1);
    files_[kSystemFile].path = windows + "SYSTEM.DAT";
    files_[kUserFile].path = windows + "USER.DAT";
    files_[kClassesFile].path = windows + "CLASSES.DAT";
    ReloadFiles();
    if (files_[kSystemFile].damaged || !files_[kSystemFile].present) {
        error = files_[kSystemFile].path + " is not a Windows registry file.";
        return false;
    }
    creg::Hive &system = files_[kSystemFile].hive;
    if (const std::string acp = StringOf(system.FindKey(kCodePageKey), "ACP"); !acp.empty())
        codePage_ = static_cast<unsigned>(std::strtoul(acp.c_str(), nullptr, 10));
    if (codePage_ == 0)
        codePage_ = kDefaultCodePage;
    files_[kProfileFile].path = ProfileUserDat();
    if (!files_[kProfileFile].path.empty())
        ReloadFiles();
    return true;
}

// The USER.DAT of the user who logged on last, when user profiles are on and it is there.
std::string ImageMachine::ProfileUserDat()
{
    creg::Hive &system = files_[kSystemFile].hive;
    if (!FlagOn(system.FindKey(kLogonKey), "UserProfiles"))
        return {};
    const std::string user = StringOf(system.FindKey(kControlKey), "Current User");
    if (user.empty())
        return {};
    std::string folder = StringOf(system.FindKey(std::string(kProfileListKey) + "\\" + user), "ProfileImagePath");
    if (folder.size() > 3 && folder[1] == ':' && folder[2] == '\\')
        folder = folder.substr(3);
    else
        folder = image_->WindowsFolder() + "\\Profiles\\" + user;
    const std::string path = folder + "\\USER.DAT";
    return image_->Files().Exists(path) ? path : std::string();
}

void ImageMachine::ReloadFiles()
{
    for (RegistryFile &file : files_) {
        if (file.path.empty())
            continue;
        std::string bytes;
        file.present = image_->Files().ReadFile(file.path, bytes) == ERROR_SUCCESS;
        file.bytes.assign(bytes.begin(), bytes.end());
        file.dirty = false;
        file.damaged = false;
        if (!file.present)
            file.hive = creg::Hive::Empty();
        else
            file.damaged = !file.hive.Load(file.bytes);
    }
    for (View &view : views_)
        view.built = false;
}

void ImageMachine::BuildViews()
{
    const bool profiles = !files_[kProfileFile].path.empty();
    views_.resize(kHiveCount);
    views_[kSystemHive].file = kSystemFile;
    views_[kSystemHive].graft = files_[kClassesFile].present ? kClassesFile : -1;
    views_[kDefaultUserHive].file = kUserFile;
    views_[kDefaultUserHive].prefix = {".DEFAULT"};
    views_[kUserHive].file = profiles ? kProfileFile : kUserFile;
    if (!profiles)
        views_[kUserHive].prefix = {".DEFAULT"};
}

ImageMachine::View &ImageMachine::ViewOf(int index)
{
    // Without profiles the current user is .DEFAULT itself: one view, so both names see a change.
    if (index == kUserHive && files_[kProfileFile].path.empty())
        index = kDefaultUserHive;
    View &view = views_[static_cast<std::size_t>(index)];
    if (!view.built)
        Rebuild(view);
    return view;
}

void ImageMachine::Rebuild(View &view)
{
    view.hive = Hive();
    view.built = true;
    creg::Key *top = files_[static_cast<std::size_t>(view.file)].hive.FindKey("");
    for (const std::string &name : view.prefix)
        top = top ? creg::Hive::FindChild(*top, name) : nullptr;
    if (top)
        Fill(codePage_, *top, view.hive.Root());
    view.hive.Root().blockUnchanged = true;
    if (view.graft < 0)
        return;
    Key *software = Hive::FindChild(view.hive.Root(), "Software");
    if (!software) {
        software = &view.hive.AddChild(view.hive.Root(), "Software", 0);
        software->blockUnchanged = true;
    }
    if (Key *old = Hive::FindChild(*software, "Classes"))
        view.hive.RemoveChild(*software, *old, 0);
    Key &classes = view.hive.AddChild(*software, "Classes", 0);
    software->blockUnchanged = true;
    view.hive.Root().blockUnchanged = true;
    Fill(codePage_, files_[static_cast<std::size_t>(view.graft)].hive.Root(), classes);
}

Hive *ImageMachine::Current(int index)
{
    View &view = ViewOf(index);
    return files_[static_cast<std::size_t>(view.file)].damaged ? nullptr : &view.hive;
}

LONG ImageMachine::Fail(LONG code, std::string why)
{
    problem_ = std::move(why);
    return code;
}

LONG ImageMachine::CheckChangeable(const View &view)
{
    if (image_->ReadOnly())
        return Fail(ERROR_ACCESS_DENIED, image_->ReadOnlyMessage());
    for (const int used : {view.file, view.graft}) {
        if (used < 0)
            continue;
        const RegistryFile &file = files_[static_cast<std::size_t>(used)];
        if (file.damaged)
            return Fail(ERROR_BADDB, file.path + " is not a Windows registry file.");
        if (!file.hive.Writable())
            return Fail(ERROR_ACCESS_DENIED, ReadOnlyMessage());
    }
    return ERROR_SUCCESS;
}

LONG ImageMachine::Change(int index, const std::function<LONG(Hive &)> &change)
{
    const bool bracketed = InBracket();
    // A bracket that failed writes nothing more; its first problem is the one to tell.
    if (bracketed && BracketFailure() != ERROR_SUCCESS)
        return BracketFailure();
    problem_.clear();
    View &view = ViewOf(index);
    // Whether an emulator took the image since it was opened is asked where the file is
    // replaced, which undoes the change in memory when it is refused.
    if (const LONG rc = CheckChangeable(view); rc != ERROR_SUCCESS) {
        if (bracketed)
            NoteBracketFailure(rc);
        return rc;
    }
    if (bracketed)
        Enlist(*this);
    if (const LONG rc = change(view.hive); rc != ERROR_SUCCESS)
        return rc;
    const LONG rc = CarryOver(view);
    if (bracketed) {
        // The hive holds a change its file cannot: the bracket's end forgets all of it.
        if (rc != ERROR_SUCCESS)
            NoteBracketFailure(rc);
        return rc;
    }
    if (rc == ERROR_SUCCESS)
        return Flush(); // which, when it fails, leaves memory as the image holds it
    ReloadFiles();      // nothing of the change stays in memory
    return rc;
}

// Carries every changed key of `view` into its registry file.
LONG ImageMachine::CarryOver(View &view)
{
    std::vector<Key *> changed;
    const std::function<void(Key &)> collect = [&](Key &key) {
        if (key.isVolatile)
            return; // kept in this process's memory only
        if (!key.blockUnchanged)
            changed.push_back(&key);
        for (const auto &child : key.children)
            collect(*child);
    };
    collect(view.hive.Root());
    for (Key *key : changed) {
        std::vector<std::string> path = PathOf(*key);
        int fileIndex = view.file;
        std::vector<std::string> stored = view.prefix;
        if (view.graft >= 0 && path.size() >= 2 && SameName(path[0], "Software") && SameName(path[1], "Classes")) {
            fileIndex = view.graft;
            stored.clear();
            path.erase(path.begin(), path.begin() + 2);
        }
        RegistryFile &file = files_[static_cast<std::size_t>(fileIndex)];
        creg::Key *target = &file.hive.Root();
        for (const std::string &name : path) {
            const auto guest = ToGuest(codePage_, name);
            if (!guest)
                return Fail(ERROR_NO_UNICODE_TRANSLATION, "The key name \"" + name +
                                                              "\" has characters that Windows code page " +
                                                              std::to_string(codePage_) + " cannot hold.");
            stored.push_back(*guest);
        }
        for (const std::string &name : stored)
            if (creg::Status status = file.hive.AddChild(*target, name, &target); !status)
                return Fail(ErrorOf(status.fault), status.reason);
        if (const LONG rc = CarryValues(file.hive, *key, *target); rc != ERROR_SUCCESS)
            return rc;
        std::vector<const creg::Key *> gone;
        for (const auto &child : target->children)
            if (!Hive::FindChild(*key, ToUtf8(codePage_, child->name)))
                gone.push_back(child.get());
        for (const creg::Key *child : gone)
            if (creg::Status status = file.hive.RemoveChild(*target, *child); !status)
                return Fail(ErrorOf(status.fault), status.reason);
        file.dirty = true;
    }
    for (Key *key : changed)
        key->blockUnchanged = true;
    return ERROR_SUCCESS;
}

// Makes the values of `to` those of `from`: values whose data did not change are not touched.
LONG ImageMachine::CarryValues(creg::Hive &hive, const Key &from, creg::Key &to)
{
    for (const Value &value : from.values) {
        const auto name = ToGuest(codePage_, value.name);
        if (!name)
            return Fail(ERROR_NO_UNICODE_TRANSLATION, "The value name \"" + value.name +
                                                          "\" has characters that Windows code page " +
                                                          std::to_string(codePage_) + " cannot hold.");
        const ValueData data = value.data ? *value.data : ValueData{};
        if (const creg::Value *stored = creg::Hive::FindValue(to, *name)) {
            const ValueData now = ToHostData(codePage_, *stored);
            if (now.type == data.type && now.bytes == data.bytes)
                continue;
        }
        auto bytes = ToGuestData(codePage_, data);
        if (!bytes)
            return Fail(ERROR_NO_UNICODE_TRANSLATION, "The value \"" + value.name +
                                                          "\" holds characters that Windows code page " +
                                                          std::to_string(codePage_) + " cannot hold.");
        if (bytes->size() > creg::kMaxWindowsValueData)
            return Fail(ERROR_INVALID_PARAMETER, "The value \"" + value.name + "\" holds " +
                                                     std::to_string(bytes->size()) + " bytes; Windows 95/98/ME " +
                                                     "keeps at most " + std::to_string(creg::kMaxWindowsValueData) +
                                                     " bytes in one value.");
        if (creg::Status status = hive.SetValue(to, *name, data.type, std::move(*bytes)); !status)
            return Fail(ErrorOf(status.fault), status.reason);
    }
    std::vector<std::string> gone;
    for (const creg::Value &stored : to.values)
        if (!std::any_of(from.values.begin(), from.values.end(),
                         [&](const Value &v) { return SameName(v.name, ToUtf8(codePage_, stored.name)); }))
            gone.push_back(stored.name);
    for (const std::string &name : gone)
        if (creg::Status status = hive.RemoveValue(to, name); !status)
            return Fail(ErrorOf(status.fault), status.reason);
    return ERROR_SUCCESS;
}

LONG ImageMachine::Serialize(RegistryFile &file, std::vector<std::uint8_t> &bytes)
{
    if (creg::Status status = file.hive.Serialize(bytes); !status)
        return Fail(ErrorOf(status.fault), file.path + ": " + status.reason);
    return ERROR_SUCCESS;
}

void ImageMachine::Stored(RegistryFile &file, std::vector<std::uint8_t> bytes)
{
    file.bytes = std::move(bytes);
    file.present = true;
    file.dirty = false;
    // The next change starts from the file as it now is, so it keeps the bytes of this one.
    file.damaged = !file.hive.Load(file.bytes);
}

LONG ImageMachine::Flush()
{
    // The same two steps as a bracket's end: every changed file is written beside its original
    // before any is put in place, so a change that touches two files lands whole or not at all.
    if (const LONG rc = WriteNewFiles(); rc != ERROR_SUCCESS) {
        DropChanges();
        return rc;
    }
    return PutNewFilesInPlace();
}

LONG ImageMachine::WriteNewFiles()
{
    for (RegistryFile &file : files_) {
        if (!file.dirty)
            continue;
        std::vector<std::uint8_t> bytes;
        if (const LONG rc = Serialize(file, bytes); rc != ERROR_SUCCESS)
            return rc;
        image::Replacement written;
        const LONG rc =
            image_->Files().WriteReplacement(file.path, std::string(bytes.begin(), bytes.end()), file.present, written);
        if (rc != ERROR_SUCCESS)
            return Fail(rc, file.path + ": " + image_->Files().LastMessage());
        file.written = std::move(written);
        file.writtenBytes = std::move(bytes);
    }
    return ERROR_SUCCESS;
}

LONG ImageMachine::PutNewFilesInPlace()
{
    LONG result = ERROR_SUCCESS;
    for (RegistryFile &file : files_) {
        if (!file.written)
            continue;
        // A new file that could not be put in place stays: the old one may be gone already, and
        // opening the image again finishes the replace.
        const LONG rc = image_->Files().PutReplacementInPlace(*file.written);
        file.written.reset();
        if (rc == ERROR_SUCCESS)
            Stored(file, std::move(file.writtenBytes));
        else if (result == ERROR_SUCCESS)
            result = Fail(rc, file.path + ": " + image_->Files().LastMessage());
        file.writtenBytes.clear();
    }
    if (result != ERROR_SUCCESS)
        ReloadFiles(); // memory shows what the image holds
    return result;
}

void ImageMachine::DropChanges()
{
    for (RegistryFile &file : files_) {
        if (file.written)
            image_->Files().DropReplacement(*file.written);
        file.written.reset();
        file.writtenBytes.clear();
    }
    // The views may hold a change that never reached its file: all is read again.
    ReloadFiles();
}

std::vector<std::string> ImageMachine::DamagedFiles() const
{
    std::vector<std::string> damaged;
    for (const RegistryFile &file : files_)
        if (file.damaged)
            damaged.push_back(file.path);
    return damaged;
}

std::string ImageMachine::ReadOnlyMessage() const
{
    if (image_->ReadOnly())
        return image_->ReadOnlyMessage();
    for (const RegistryFile &file : files_)
        if (file.present && !file.damaged && !file.hive.Writable())
            return file.path +
                   " does not follow the registry file format in every point Korvex relies on, "
                   "so Korvex does not change it: " +
                   file.hive.Problems().front();
    return {};
}

} // namespace win::detail
