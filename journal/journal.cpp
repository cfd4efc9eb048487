// The journal file: a header, then records each framed by its length and a CRC-32 of its bytes.
//
//   header  "KVXJ" u32 version
//   record  u32 length, u32 crc32(payload), payload
//
// Numbers are little-endian. A record is appended with one write and flushed before the write
// function that made the change returns; a crash in between leaves a short or unchecked last
// record, which reading drops (and cuts off, so that later records follow the good ones). Bad
// bytes followed by a record that checks are damage, not a crash: the file is set aside and the
// journal keeps every record that checks. An append that fails (a full disk) is cut off at once.
#include "journal.h"
#include "journal_detail.h"

#include "file_reads.h"
#include "machine.h"
#include "win32.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace journal
{

namespace
{

constexpr std::string_view kMagic = "KVXJ";
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kFrameSize = 8;
constexpr std::uint32_t kMaxRecord = 256u << 20; // a record never comes near this; more is damage

constexpr std::array<std::uint32_t, 256> MakeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = MakeCrcTable();

std::uint32_t Crc32(std::string_view bytes)
{
    std::uint32_t c = 0xFFFFFFFFu;
    for (const char b : bytes)
        c = kCrcTable[(c ^ static_cast<std::uint8_t>(b)) & 0xFFu] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// ---- Encoding ------------------------------------------------------------------------------

void PutU32(std::string &out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFFu));
}

void PutU64(std::string &out, std::uint64_t v)
{
    PutU32(out, static_cast<std::uint32_t>(v));
    PutU32(out, static_cast<std::uint32_t>(v >> 32));
}

void PutText(std::string &out, std::string_view text)
{
    PutU32(out, static_cast<std::uint32_t>(text.size()));
    out.append(text);
}

void PutState(std::string &out, const State &state)
{
    out.push_back(state.exists ? '\1' : '\0');
    PutU32(out, state.type);
    PutText(out, state.data);
}

void PutContent(std::string &out, const KeyContent &content)
{
    PutText(out, content.name);
    PutU32(out, static_cast<std::uint32_t>(content.values.size()));
    for (const auto &[name, state] : content.values) {
        PutText(out, name);
        PutState(out, state);
    }
    PutU32(out, static_cast<std::uint32_t>(content.subkeys.size()));
    for (const KeyContent &sub : content.subkeys)
        PutContent(out, sub);
}

std::string Encode(const Record &r)
{
    std::string out;
    PutU64(out, r.id);
    PutU64(out, static_cast<std::uint64_t>(r.time));
    PutText(out, r.page);
    out.push_back(static_cast<char>(r.kind));
    PutText(out, r.target);
    PutText(out, r.name);
    PutState(out, r.before);
    PutState(out, r.after);
    PutContent(out, r.deleted);
    PutU64(out, r.undoes);
    PutU64(out, r.group);
    return out;
}

std::uint32_t U32At(std::string_view bytes, std::size_t at)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + i])) << (8 * i);
    return v;
}

// Reads fields from a payload; any read past its end marks the payload bad.
class Reader
{
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}
    bool Ok() const { return ok_ && at_ == bytes_.size(); }
    bool AtEnd() const { return at_ == bytes_.size(); }

    std::uint32_t U32()
    {
        const std::string_view b = Take(4);
        return b.empty() ? 0 : U32At(b, 0);
    }
    std::uint64_t U64()
    {
        const std::uint64_t low = U32();
        return low | (static_cast<std::uint64_t>(U32()) << 32);
    }
    std::uint8_t U8()
    {
        const std::string_view b = Take(1);
        return b.empty() ? 0 : static_cast<std::uint8_t>(b[0]);
    }
    std::string Text() { return std::string(Take(U32())); }
    State ReadState()
    {
        State s;
        s.exists = U8() != 0;
        s.type = U32();
        s.data = Text();
        return s;
    }
    KeyContent Content(int depth = 0)
    {
        KeyContent c;
        c.name = Text();
        const std::uint32_t values = U32();
        for (std::uint32_t i = 0; ok_ && i < values; ++i) {
            std::string name = Text();
            c.values.emplace_back(std::move(name), ReadState());
        }
        const std::uint32_t subkeys = U32();
        if (depth > 512)
            ok_ = false;
        for (std::uint32_t i = 0; ok_ && i < subkeys; ++i)
            c.subkeys.push_back(Content(depth + 1));
        return c;
    }

private:
    std::string_view Take(std::size_t n)
    {
        if (!ok_ || n > bytes_.size() - at_) {
            ok_ = false;
            return {};
        }
        const std::string_view part = bytes_.substr(at_, n);
        at_ += n;
        return part;
    }

    std::string_view bytes_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

bool Decode(std::string_view payload, Record &r)
{
    Reader in(payload);
    r.id = in.U64();
    r.time = static_cast<std::int64_t>(in.U64());
    r.page = in.Text();
    r.kind = static_cast<Kind>(in.U8());
    r.target = in.Text();
    r.name = in.Text();
    r.before = in.ReadState();
    r.after = in.ReadState();
    r.deleted = in.Content();
    r.undoes = in.U64();
    // Records of the first version end before the group.
    r.group = in.AtEnd() ? 0 : in.U64();
    return in.Ok() && r.kind >= Kind::Value && r.kind <= Kind::Drive;
}

// ---- The file ------------------------------------------------------------------------------

enum class Damage { None, TornTail, Damaged, FutureVersion };

struct Parsed {
    std::vector<Record> records;
    // Where each record of `records` lies in the file, its frame included.
    std::vector<std::pair<std::size_t, std::size_t>> frames;
    std::size_t goodLength = 0; // bytes up to the end of the last good record
    Damage damage = Damage::None;
};

// A cheap look at a payload's first fields before its checksum is computed: a time between 2001
// and 2242 and a page name inside the payload. Searching damaged bytes for the next record then
// sums only the few places that could be one, even over data that repeats small numbers.
bool LooksLikeRecord(std::string_view payload)
{
    constexpr std::size_t kTimeAt = 8;
    constexpr std::size_t kPageAt = 16;
    constexpr std::uint64_t kEarliest = 1'000'000'000;
    constexpr std::uint64_t kLatest = std::uint64_t{1} << 33;
    if (payload.size() < kPageAt + 4)
        return false;
    const std::uint64_t time = U32At(payload, kTimeAt) | (std::uint64_t{U32At(payload, kTimeAt + 4)} << 32);
    return time >= kEarliest && time < kLatest && U32At(payload, kPageAt) <= payload.size() - kPageAt - 4;
}

// The whole frame at `at` when it holds a record that checks; its length (frame and payload) or 0.
std::size_t RecordAt(std::string_view bytes, std::size_t at, Record &record)
{
    if (bytes.size() - at < kFrameSize)
        return 0;
    const std::uint32_t length = U32At(bytes, at);
    if (length > kMaxRecord || bytes.size() - at - kFrameSize < length)
        return 0;
    const std::string_view payload = bytes.substr(at + kFrameSize, length);
    if (!LooksLikeRecord(payload) || Crc32(payload) != U32At(bytes, at + 4) || !Decode(payload, record))
        return 0;
    return kFrameSize + length;
}

// The start of the first record that checks after `at`, or npos. A flipped bit in a length
// makes the frame point anywhere, so every later byte is a candidate; the checksum decides.
std::size_t NextRecordAfter(std::string_view bytes, std::size_t at)
{
    Record ignored;
    for (std::size_t candidate = at + 1; candidate + kFrameSize <= bytes.size(); ++candidate)
        if (RecordAt(bytes, candidate, ignored) > 0)
            return candidate;
    return std::string_view::npos;
}

Parsed Parse(std::string_view bytes)
{
    Parsed parsed;
    if (bytes.empty())
        return parsed;
    if (bytes.size() < kHeaderSize || bytes.substr(0, 4) != kMagic) {
        parsed.damage =
            bytes.size() < kHeaderSize && kMagic.starts_with(bytes.substr(0, 4)) ? Damage::TornTail : Damage::Damaged;
        return parsed;
    }
    if (U32At(bytes, 4) > kVersion) {
        parsed.damage = Damage::FutureVersion;
        return parsed;
    }
    std::size_t at = kHeaderSize;
    parsed.goodLength = at;
    while (at < bytes.size()) {
        Record record;
        if (const std::size_t size = RecordAt(bytes, at, record); size > 0) {
            parsed.records.push_back(std::move(record));
            parsed.frames.emplace_back(at, size);
            at += size;
            parsed.goodLength = at;
            continue;
        }
        // Only the last record can have been cut short by a crash: a record that checks after
        // the bad bytes shows damage that is no crash's doing, and is kept with every other.
        const std::size_t next = NextRecordAfter(bytes, at);
        if (next == std::string_view::npos) {
            if (parsed.damage == Damage::None)
                parsed.damage = Damage::TornTail;
            break;
        }
        parsed.damage = Damage::Damaged;
        at = next;
    }
    return parsed;
}

// A journal that is no regular file (a FIFO would block the window) or larger than any real one
// reads as empty.
std::string ReadAll(const std::string &path)
{
    std::string bytes;
    win::ReadRegularFile(path, bytes, win::kJournalLimit);
    return bytes;
}

std::string StateFolder()
{
#ifdef _WIN32
    const char *local = std::getenv("LOCALAPPDATA");
    return local && *local ? std::string(local) : std::string();
#else
    if (const char *state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        return state;
    const char *home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.local/state" : std::string();
#endif
}

// A name for the machine that stays the same while it stays where it is: its folder's last name
// (for the reader) and a hash of its whole path (so that two folders of one name differ).
std::string MachineKey()
{
    std::string folder = win::MachineFolder();
    if (folder.empty()) {
        char name[64] = {};
        win::DWORD size = sizeof name;
        win::GetComputerNameA(name, &size);
        return std::string("windows-") + name;
    }
    std::error_code error;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(folder, error);
    if (!error)
        folder = canonical.string();
    std::uint64_t hash = 1469598103934665603ull; // FNV-1a
    for (const char c : folder)
        hash = (hash ^ static_cast<std::uint8_t>(c)) * 1099511628211ull;
    std::string base = std::filesystem::path(folder).filename().string();
    if (base.empty())
        base = "root";
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return base + "-" + hex;
}

// When the file was last checked or appended to by this process.
struct FileStamp {
    std::uintmax_t size = 0;
    std::filesystem::file_time_type written{};

    bool operator==(const FileStamp &) const = default;
};

FileStamp StampOf(const std::string &path)
{
    std::error_code error;
    FileStamp stamp;
    stamp.size = std::filesystem::file_size(path, error);
    if (error)
        return {};
    stamp.written = std::filesystem::last_write_time(path, error);
    return stamp;
}

struct Journal {
    std::string path;     // the file of the machine it was opened for
    bool checked = false; // a torn tail cut off and damage set aside, up to `stamp`
    FileStamp stamp;
    std::string problem;
    bool appendFailed = false; // told once per run
    std::uint64_t nextId = 0;  // above every id in the file: kept records keep theirs
    int paused = 0;
    std::string page;
};

Journal &TheJournal()
{
    static Journal journal;
    return journal;
}

// Seconds since 1970, UTC.
std::int64_t Now()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool WriteDurably(const std::string &path, const std::string &bytes);
void SyncFolder(const std::string &folder);

// Keeps the damaged file aside as it was and makes the journal of the records that check, each
// frame byte for byte: written beside it, made durable, then renamed over it, so that the
// journal is at every moment either the old file or the new one.
bool KeepRecordsThatCheck(const std::string &path, const std::string &bytes, const Parsed &parsed,
                          const std::string &aside)
{
    std::string kept = bytes.substr(0, kHeaderSize);
    for (const auto &[at, size] : parsed.frames)
        kept.append(bytes, at, size);
    const std::string fresh = path + ".new";
    std::error_code error;
    std::filesystem::remove(aside, error);
    std::filesystem::remove(fresh, error);
    if (!WriteDurably(aside, bytes) || !WriteDurably(fresh, kept))
        return false;
    std::filesystem::rename(fresh, path, error);
    SyncFolder(std::filesystem::path(path).parent_path().string());
    return !error;
}

// Cuts a torn last record off, or sets a damaged journal aside, once per process and machine.
void Check(Journal &j)
{
    // Another process (or a crash of one) may have changed the file since this one looked.
    if (j.checked && StampOf(j.path) == j.stamp)
        return;
    j.checked = true;
    const std::string bytes = ReadAll(j.path);
    const Parsed parsed = Parse(bytes);
    j.nextId = 0;
    for (const Record &record : parsed.records)
        j.nextId = std::max(j.nextId, record.id + 1);
    std::error_code error;
    switch (parsed.damage) {
    case Damage::None: j.stamp = StampOf(j.path); return;
    case Damage::TornTail:
        std::filesystem::resize_file(j.path, parsed.goodLength, error);
        j.stamp = StampOf(j.path);
        return;
    case Damage::Damaged:
    case Damage::FutureVersion: break;
    }
    const std::string aside = j.path + ".damaged-" + std::to_string(Now());
    if (parsed.damage != Damage::Damaged || parsed.records.empty() ||
        !KeepRecordsThatCheck(j.path, bytes, parsed, aside))
        std::filesystem::rename(j.path, aside, error);
    j.problem = (parsed.damage == Damage::FutureVersion ? "written by a newer version: " : "damaged: ") + aside;
    j.stamp = StampOf(j.path);
}

Journal &Opened()
{
    Journal &j = TheJournal();
    const std::string folder = StateFolder();
    const std::string path = folder.empty() ? std::string() : folder + "/korvex/history/" + MachineKey() + ".journal";
    if (path != j.path) {
        j.path = path;
        j.checked = false;
    }
    if (!j.path.empty())
        Check(j);
    return j;
}

#ifdef _WIN32
bool WriteDurably(const std::string &path, const std::string &bytes)
{
    const int fd = ::_open(path.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return false;
    const bool ok = ::_write(fd, bytes.data(), static_cast<unsigned>(bytes.size())) == static_cast<int>(bytes.size()) &&
                    ::_commit(fd) == 0;
    return ::_close(fd) == 0 && ok;
}
#else
bool WriteAllOf(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool WriteDurably(const std::string &path, const std::string &bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool ok = WriteAllOf(fd, bytes) && ::fdatasync(fd) == 0;
    return ::close(fd) == 0 && ok;
}
#endif

void SyncFolder(const std::string &folder)
{
#ifdef _WIN32
    (void)folder; // NTFS and FAT keep a new file's entry with its data
#else
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#endif
}

// A record that could not be written whole (a full disk) is cut off, so that the next change
// follows the last good record; the first such failure of a run is told.
void CutBack(Journal &j, std::uintmax_t goodLength)
{
    std::error_code error;
    std::filesystem::resize_file(j.path, goodLength, error);
    if (!std::exchange(j.appendFailed, true))
        j.problem = "not recorded: " + j.path;
}

} // namespace

void detail::ForgetJournalFile()
{
    Journal &j = TheJournal();
    j.path.clear();
    j.checked = false;
}

void SetPage(std::string_view page)
{
    TheJournal().page = page;
}

std::string JournalPath()
{
    return Opened().path;
}

std::string ProblemReport()
{
    Journal &j = Opened();
    return std::exchange(j.problem, std::string());
}

Pause::Pause()
{
    ++TheJournal().paused;
}

Pause::~Pause()
{
    --TheJournal().paused;
}

bool Pause::Active()
{
    return TheJournal().paused > 0;
}

std::vector<Record> Records()
{
    Journal &j = Opened();
    if (j.path.empty())
        return {};
    return Parse(ReadAll(j.path)).records;
}

bool Append(Record record)
{
    Journal &j = Opened();
    if (j.paused || j.path.empty())
        return false;
    record.time = Now();
    if (record.page.empty())
        record.page = j.page;
    std::error_code error;
    if (std::filesystem::file_size(j.path, error) == 0 || error) {
        // A new journal: its folder is made, and its entry there must last too.
        const std::filesystem::path folder = std::filesystem::path(j.path).parent_path();
        std::filesystem::create_directories(folder, error);
        std::string header(kMagic);
        PutU32(header, kVersion);
        if (!WriteDurably(j.path, header)) {
            CutBack(j, 0);
            return false;
        }
        SyncFolder(folder.string());
    }
    // The id is where the record starts in the file, unless records kept from a damaged file
    // have larger ones.
    const std::uintmax_t goodLength = std::filesystem::file_size(j.path, error);
    if (error)
        return false;
    record.id = std::max<std::uint64_t>(goodLength, j.nextId);
    const std::string payload = Encode(record);
    std::string framed;
    PutU32(framed, static_cast<std::uint32_t>(payload.size()));
    PutU32(framed, Crc32(payload));
    framed += payload;
    const bool written = WriteDurably(j.path, framed);
    if (written)
        j.nextId = record.id + 1;
    else
        CutBack(j, goodLength);
    j.stamp = StampOf(j.path);
    return written;
}

} // namespace journal
