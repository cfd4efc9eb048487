// The Windows 9x registry file reader and writer, checked against readers written by others:
// libcreg (python3-libcreg and cregexport), Parse::Win32Registry and the strict checker
// creg_check.py. Each file the writer makes must read the same in all of them as in a plain
// model of the edits, and blocks no edit touched must keep their bytes.
#include "TempMachine.h"
#include "creg_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>

namespace creg = win::creg;
using creg::Fault;
using creg::Hive;
using creg::Key;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

namespace
{

template <class Text> std::string HexOf(const Text &bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * std::size(bytes));
    for (const auto c : bytes) {
        hex += kDigits[static_cast<unsigned char>(c) >> 4];
        hex += kDigits[c & 0xF];
    }
    return hex;
}

// A plain model of the edits: what a file should hold.
struct Model {
    std::string name;
    std::vector<creg::Value> values;
    std::vector<Model> children;
};

const Key &Of(const std::unique_ptr<Key> &key)
{
    return *key;
}
const Model &Of(const Model &key)
{
    return key;
}

// The oracles' form: "K/<name>/..." then "V <name> <type> <data>", depth first, in stored order.
template <class K> void Dump(const K &key, const std::string &path, Lines &out)
{
    out.push_back("K" + path);
    for (const creg::Value &v : key.values)
        out.push_back("V " + HexOf(v.name) + " " + std::to_string(v.type) + " " + HexOf(v.data));
    for (const auto &child : key.children)
        Dump(Of(child), path + "/" + HexOf(Of(child).name), out);
}

template <class K> Lines Dump(const K &key)
{
    Lines out;
    Dump(key, "", out);
    return out;
}

Bytes Bytes_(const Hive &hive)
{
    Bytes out;
    const creg::Status written = hive.Serialize(out);
    EXPECT_TRUE(written) << written.reason;
    return out;
}

std::string Shell(const std::string &command)
{
    std::string out;
    if (FILE *pipe = popen(command.c_str(), "r")) {
        char buffer[65536];
        for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

std::string MissingOracles()
{
    std::string missing;
    const std::pair<const char *, const char *> probes[] = {
        {"/usr/bin/python3 -c 'import pycreg' 2>/dev/null && echo ok", "python3-libcreg"},
        {"command -v cregexport >/dev/null && echo ok", "libcreg-utils"},
        {"perl -MParse::Win32Registry -e 'print \"ok\"' 2>/dev/null", "libparse-win32registry-perl"},
        {"test -f " CREG_CHECKER " && echo ok", CREG_CHECKER}};
    for (const auto &[probe, what] : probes)
        if (Shell(probe).rfind("ok", 0) != 0)
            missing += std::string(missing.empty() ? "" : ", ") + what;
    return missing;
}

// Files with what they should hold, written to a folder; the oracles read them all at once.
class Oracles
{
public:
    Oracles() : folder_(MakeTempFolder("creg")) {}
    ~Oracles() { RemoveFolder(folder_); }

    // cregexport reads only the files marked `full`: it is slow on large ones.
    void Add(const Bytes &file, Lines expected, bool full = true)
    {
        const std::string path = folder_ + "/" + std::to_string(expected_.size()) + ".dat";
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(file.data()), std::ssize(file));
        expected_[path] = {std::move(expected), full};
    }

    // Every file reads as expected in every oracle, and the checker finds nothing.
    void ExpectAgree() const
    {
        std::string some, all;
        for (const auto &[path, expected] : expected_)
            (expected.second ? all : some) += " " + path;
        const std::string python = "/usr/bin/python3 " CREG_ORACLES "/creg_oracles.py " CREG_CHECKER;
        std::istringstream out(Shell(python + " check,pycreg" + some) +
                               Shell(python + " check,pycreg,cregexport" + all) +
                               Shell("perl " CREG_ORACLES "/creg_oracle.pl" + some + all));
        std::map<std::string, std::map<std::string, Lines>> seen;
        Lines *section = nullptr;
        for (std::string line; std::getline(out, line);) {
            if (line.rfind("@ ", 0) == 0) {
                const std::size_t space = line.rfind(' ');
                section = &seen[line.substr(2, space - 2)][line.substr(space + 1)];
            } else if (section) {
                section->push_back(line);
            }
        }
        for (const auto &[path, expected] : expected_)
            for (const std::string reader : {"check", "pycreg", "perl", "cregexport"}) {
                if (reader == "cregexport" && !expected.second)
                    continue;
                const Lines &want = reader == "check" ? Lines{} : expected.first;
                const Lines &got = seen[path][reader];
                const auto diff = std::mismatch(want.begin(), want.end(), got.begin(), got.end());
                EXPECT_TRUE(diff.first == want.end() && diff.second == got.end())
                    << path << " read by " << reader << ": expected \"" << (diff.first != want.end() ? *diff.first : "")
                    << "\", read \"" << (diff.second != got.end() ? *diff.second : "") << "\"";
            }
    }

private:
    std::string folder_;
    std::map<std::string, std::pair<Lines, bool>> expected_;
};

#define REQUIRE_ORACLES()                                                                                              \
    if (const std::string missing = MissingOracles(); !missing.empty())                                                \
    GTEST_SKIP() << "Independent registry readers missing (make deps installs them): " << missing

// The data blocks of a file, in order.
std::vector<std::span<const std::uint8_t>> Blocks(const Bytes &file)
{
    std::vector<std::span<const std::uint8_t>> blocks;
    std::size_t at = creg::Get32(file, creg::file::kBlocksOffset);
    for (std::uint32_t i = 0; i < creg::Get16(file, creg::file::kBlockCount); ++i) {
        blocks.emplace_back(file.data() + at, creg::Get32(file, at + creg::block::kSize));
        at += blocks.back().size();
    }
    return blocks;
}

std::span<const std::uint8_t> Tree(const Bytes &file)
{
    return std::span(file).subspan(creg::kTreeStart, creg::Get32(file, creg::kTreeStart + creg::tree::kSize));
}

Hive Loaded(Bytes file)
{
    Hive hive;
    EXPECT_TRUE(hive.Load(std::move(file)));
    return hive;
}

// Re-seals the sections whose checksum bit is set after a test changed their bytes.
void Reseal(Bytes &file)
{
    const auto seal = [](std::span<std::uint8_t> s, std::size_t flags, std::size_t sum) {
        if (creg::Get16(s, flags) & creg::kChecksumValid)
            creg::Seal(s, sum);
    };
    seal(std::span(file).first(creg::kFileHeaderSize), creg::file::kFlags, creg::file::kChecksum);
    seal(std::span(file).subspan(creg::kTreeStart, Tree(file).size()), creg::tree::kFlags, creg::tree::kChecksum);
    for (const auto block : Blocks(file))
        seal(std::span(file).subspan(block.data() - file.data(), block.size()), creg::block::kFlags,
             creg::block::kChecksum);
}

} // namespace

namespace
{

// Random edits on the writer and the model alike, from a fixed seed.
struct RandomEdits {
    struct Spot {
        Model *model;
        Key *key;
        Model *parent;
    };

    std::mt19937 rng{24};
    Model model;
    Hive hive = Hive::Empty();
    std::set<std::uint16_t> touched; // the blocks the last edit may change
    bool treeKept = false;           // the last edit must leave the key tree as it was
    bool moved = false;              // some key's record had to move to another block

    std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); }

    std::string Name()
    {
        static constexpr char kChars[] = "abcwXYZ019 _.{-}\xe9\xc4\xdf\xfc";
        std::string name(Below(20) == 0 ? 100 + Below(150) : 1 + Below(12), ' ');
        for (char &c : name)
            c = kChars[Below(sizeof kChars - 1)];
        return name;
    }

    static std::string Flipped(std::string name)
    {
        for (char &c : name)
            if (std::isalpha(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80)
                c ^= 0x20;
        return name;
    }

    Bytes Data(std::uint32_t type)
    {
        const std::size_t roll = Below(20);
        Bytes data(type == creg::kRegDword ? 4
                   : roll == 0             ? 4000 + Below(8000)
                   : roll < 4              ? 50 + Below(600)
                                           : Below(40));
        for (auto &b : data)
            b = static_cast<std::uint8_t>(Below(256));
        return data;
    }

    std::vector<Spot> Spots()
    {
        std::vector<Spot> spots{{&model, &hive.Root(), nullptr}};
        for (std::size_t i = 0; i < spots.size(); ++i)
            for (Model &child : spots[i].model->children)
                spots.push_back({&child, Hive::FindChild(*spots[i].key, child.name), spots[i].model});
        return spots;
    }

    void Step(int addPercent)
    {
        std::vector<Spot> spots = Spots();
        const Spot spot = spots[Below(spots.size())];
        ASSERT_NE(spot.key, nullptr);
        touched.clear();
        treeKept = false;
        const std::size_t op = Below(100);
        if (op < static_cast<std::size_t>(addPercent))
            AddKey(spot);
        else if (op < 75 || spot.model->values.empty())
            SetValue(spot);
        else if (op < 96 || !spot.parent)
            RemoveValue(spot);
        else
            RemoveKey(spot);
    }

    void AddKey(const Spot &at)
    {
        auto &kids = at.model->children;
        const std::string name = !kids.empty() && Below(10) == 0 ? Flipped(kids[Below(kids.size())].name) : Name();
        Key *added = nullptr;
        ASSERT_TRUE(hive.AddChild(*at.key, name, &added));
        if (std::none_of(kids.begin(), kids.end(), [&](const Model &m) { return creg::SameName(m.name, name); }))
            kids.push_back({name, {}, {}});
        touched = {added->block};
    }

    void SetValue(const Spot &at)
    {
        auto &values = at.model->values;
        const bool replace = !values.empty() && Below(3) == 0;
        const std::string name = replace ? Flipped(values[Below(values.size())].name) : Below(20) ? Name() : "";
        static constexpr std::uint32_t kTypes[] = {0, 1, 2, 3, 4, 7, 0x80000001};
        const std::uint32_t type = kTypes[Below(std::size(kTypes))];
        const Bytes data = Data(type);
        const std::uint16_t before = at.key->block;
        const auto found =
            std::find_if(values.begin(), values.end(), [&](auto &v) { return creg::SameName(v.name, name); });
        const std::size_t used = creg::RecordUsed(*at.key) + data.size() +
                                 (found != values.end() ? 0 - found->data.size() : 12 + name.size());
        if (const creg::Status set = hive.SetValue(*at.key, name, type, data); !set) {
            EXPECT_EQ(set.fault, at.parent ? Fault::TooLarge : Fault::NotAllowed) << set.reason;
            EXPECT_TRUE(!at.parent || used > creg::kMaxBlockSize - creg::kBlockHeaderSize);
            return;
        }
        if (found != values.end())
            *found = {found->name, type, 0, data};
        else
            values.push_back({name, type, 0, data});
        touched = {before, at.key->block};
        treeKept = before == at.key->block;
        moved |= before != at.key->block && before != creg::kNoId;
    }

    void RemoveValue(const Spot &at)
    {
        auto &values = at.model->values;
        const auto which = values.begin() + static_cast<std::ptrdiff_t>(Below(values.size()));
        ASSERT_TRUE(hive.RemoveValue(*at.key, Flipped(which->name)));
        values.erase(which);
        touched = {at.key->block};
        treeKept = true;
    }

    void RemoveKey(const Spot &at)
    {
        std::vector<const Key *> pending{at.key};
        while (!pending.empty()) {
            const Key *k = pending.back();
            pending.pop_back();
            touched.insert(k->block);
            for (const auto &child : k->children)
                pending.push_back(child.get());
        }
        ASSERT_TRUE(hive.RemoveChild(*at.key->parent, *at.key));
        std::erase_if(at.parent->children, [&](const Model &m) { return &m == at.model; });
    }
};

} // namespace

TEST(CregWriter, RandomEditsReadTheSameInEveryOracleAndKeepUntouchedBlocks)
{
    REQUIRE_ORACLES();
    RandomEdits edits;
    Oracles oracles;
    for (int i = 0; i < 350; ++i)
        edits.Step(60);
    Bytes before = Bytes_(edits.hive);
    const std::size_t blocksAtStart = Blocks(before).size(), treeAtStart = Tree(before).size();
    std::size_t fullest = 0;
    for (int step = 0; step < 300 && !HasFatalFailure(); ++step) {
        edits.hive = Loaded(before);
        edits.Step(45);
        const Bytes after = Bytes_(edits.hive);
        const auto old = Blocks(before), now = Blocks(after);
        for (std::size_t b = 0; b < old.size(); ++b)
            EXPECT_TRUE(edits.touched.contains(static_cast<std::uint16_t>(b)) || std::ranges::equal(old[b], now[b]))
                << "step " << step << " changed block " << b;
        EXPECT_TRUE(!edits.treeKept || std::ranges::equal(Tree(before), Tree(after)))
            << "step " << step << " changed the tree";
        const creg::Hive::Contents read = creg::Read(after);
        EXPECT_EQ(Dump(*read.root), Dump(edits.model)) << "step " << step;
        for (const auto &block : read.blocks)
            fullest = std::max(fullest, block.keys.size());
        if (step % 10 == 9)
            oracles.Add(after, Dump(edits.model), step % 150 == 149);
        before = after;
    }
    oracles.ExpectAgree();
    // The sequence went through the cases it is meant to cover.
    EXPECT_EQ(fullest, creg::kMaxRecordsPerBlock);
    EXPECT_TRUE(edits.moved);
    EXPECT_GT(Tree(before).size(), treeAtStart);
    EXPECT_GT(Blocks(before).size(), blocksAtStart);
    const creg::Hive::Contents last = creg::Read(before);
    std::vector<const Key *> keys{last.root.get()};
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(creg::GridSlotAtOrAfter(keys[i]->entry), keys[i]->entry) << "entry off the page grid";
        for (const auto &child : keys[i]->children)
            keys.push_back(child.get());
    }
}

// The checker's own sample file (written by other code than ours) reads, edits and checks
// clean; each of its broken variants is refused and opens read-only.
TEST(CregChecker, OthersSampleIsEditedAndEveryBrokenVariantRefused)
{
    REQUIRE_ORACLES();
    const std::string folder = MakeTempFolder("creg-mutants");
    Shell("/usr/bin/python3 " CREG_CHECKER " --mutants " + folder + " >/dev/null; /usr/bin/python3 " CREG_CHECKER " " +
          folder + "/sample >/dev/null");
    std::vector<std::pair<std::string, Bytes>> files;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        files.emplace_back(entry.path().filename(), Bytes(std::istreambuf_iterator<char>(in), {}));
    }
    RemoveFolder(folder);
    ASSERT_EQ(files.size(), 10u);
    Oracles oracles;
    for (auto &[name, file] : files) {
        Hive hive;
        const creg::Status loaded = hive.Load(file);
        if (name != "sample") {
            EXPECT_FALSE(creg::Check(file).empty()) << name;
            EXPECT_TRUE(!loaded || (!hive.Writable() && hive.SetValue(hive.Root(), "", 1, {}).fault == Fault::ReadOnly))
                << name;
            continue;
        }
        ASSERT_TRUE(loaded && hive.Writable()) << hive.ReadOnlyReason();
        Key *korvex = hive.FindKey("KORVEX");
        ASSERT_NE(korvex, nullptr);
        EXPECT_EQ(Hive::FindValue(*korvex, "answer")->data, (Bytes{42, 0, 0, 0}));
        oracles.Add(file, Dump(hive.Root()));
        Key *added = nullptr;
        ASSERT_TRUE(hive.CreateKey("Korvex\\Deeper\\Deepest", &added));
        ASSERT_TRUE(hive.SetValue(*added, "Name", 1, {'x', 0}));
        ASSERT_TRUE(hive.SetValue(*korvex, "Greeting", 3, Bytes(300, 7)));
        oracles.Add(Bytes_(hive), Dump(hive.Root()));
    }
    oracles.ExpectAgree();
}

// Edits beyond the format's limits fail with their reason and change nothing.
TEST(CregWriter, EditsBeyondTheLimitsChangeNothing)
{
    Hive hive = Hive::Empty();
    Key *key = nullptr;
    ASSERT_TRUE(hive.CreateKey("Limits", &key));
    for (const char *name : {"big1", "big2", "big3"})
        ASSERT_TRUE(hive.SetValue(*key, name, 3, Bytes(16000)));
    const struct {
        const char *what;
        std::function<creg::Status()> edit;
        Fault fault;
    } cases[] = {
        {"value over 16,300 bytes", [&] { return hive.SetValue(*key, "v", 3, Bytes(16301)); }, Fault::TooLarge},
        {"key over 60 KiB", [&] { return hive.SetValue(*key, "big4", 3, Bytes(16000)); }, Fault::TooLarge},
        {"value name over 255 bytes", [&] { return hive.SetValue(*key, std::string(256, 'v'), 1, {}); },
         Fault::BadName},
        {"REG_DWORD of 3 bytes", [&] { return hive.SetValue(*key, "d", 4, Bytes(3)); }, Fault::BadData},
        {"value on the top key", [&] { return hive.SetValue(hive.Root(), "v", 1, {}); }, Fault::NotAllowed},
        {"NUL in a value name", [&] { return hive.SetValue(*key, std::string("a\0b", 3), 1, {}); }, Fault::BadName},
        {"empty key name", [&] { return hive.AddChild(*key, ""); }, Fault::BadName},
        {"backslash in a key name", [&] { return hive.AddChild(*key, "a\\b"); }, Fault::BadName},
        {"key name over 255 bytes", [&] { return hive.AddChild(*key, std::string(256, 'k')); }, Fault::BadName},
        {"bad name deep in a path", [&] { return hive.CreateKey(std::string("Limits\\New\\x\0", 13)); },
         Fault::BadName},
        {"missing value", [&] { return hive.RemoveValue(*key, "none"); }, Fault::NotFound},
        {"key of another parent", [&] { return hive.RemoveChild(*key, hive.Root()); }, Fault::NotFound},
    };
    const Bytes before = Bytes_(hive);
    for (const auto &c : cases) {
        const creg::Status status = c.edit();
        EXPECT_EQ(status.fault, c.fault) << c.what << ": " << status.reason;
        EXPECT_FALSE(status.reason.empty()) << c.what;
        EXPECT_EQ(Bytes_(hive), before) << c.what;
    }
}

// A Windows 98 block, with a free record between key records, keeps its bytes until an edit
// touches it; then its records are packed with one free record at the end.
TEST(CregWriter, FreeRecordsInsideABlockStayUntilTheBlockIsEdited)
{
    REQUIRE_ORACLES();
    Hive hive = Hive::Empty();
    Key *k[5] = {};
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(hive.CreateKey(std::string(1, static_cast<char>('A' + i)), &k[i]));
        for (const char *name : {"v", "w", "x"}) // D and E are too large to share a block
            ASSERT_TRUE(hive.SetValue(*k[i], name, 3, Bytes(i < 3 ? 10 : 15000, 1)));
    }
    ASSERT_EQ(k[4]->block, 1); // E did not fit beside D
    Bytes file = Bytes_(hive);
    const std::size_t block0 = creg::Get32(file, creg::file::kBlocksOffset);
    const auto recordOf = [&](const Key *key) {
        std::size_t r = block0 + creg::kBlockHeaderSize;
        while (creg::Get16(file, r + creg::record::kId) != key->id)
            r += creg::Get32(file, r + creg::record::kSize);
        return r;
    };
    // Words no source explains, set in C: they stay as they are.
    creg::Put32(file, recordOf(k[2]) + creg::record::kReserved, 0x12345678);
    creg::Put32(file, recordOf(k[2]) + creg::kKeyHeaderSize + 1 + creg::value::kUnknown, creg::kNone);
    // B's record becomes free space and its tree entry a free run, as Windows 98 leaves them.
    const std::size_t r = recordOf(k[1]);
    creg::Put32(file, r + creg::record::kId, 0xFFFFFFFF);
    creg::Put32(file, r + creg::record::kUsed, creg::kNone);
    creg::Put16(file, block0 + creg::block::kFirstFreeId, k[1]->id);
    const auto tree = std::span(file).subspan(creg::kTreeStart);
    creg::Put32(tree, k[0]->entry + creg::entry::kNext, k[2]->entry);
    creg::Put32(tree, k[1]->entry + creg::entry::kInUse, creg::kFreeRun);
    creg::Put32(tree, k[1]->entry + creg::entry::kHash, creg::kEntrySize);
    creg::Put32(tree, k[1]->entry + creg::entry::kNextFree, creg::Get32(tree, creg::tree::kFirstFree));
    creg::Put32(tree, creg::tree::kFirstFree, k[1]->entry);
    Reseal(file);

    Oracles oracles;
    Hive holed = Loaded(file);
    ASSERT_TRUE(holed.Writable()) << holed.ReadOnlyReason();
    EXPECT_EQ(Hive::FindChild(holed.Root(), "B"), nullptr);
    oracles.Add(file, Dump(holed.Root()), false);
    ASSERT_TRUE(holed.SetValue(*holed.FindKey("E"), "y", 1, {'e', 0}));
    const Bytes otherEdited = Bytes_(holed);
    EXPECT_TRUE(std::ranges::equal(Blocks(otherEdited)[0], Blocks(file)[0]));
    oracles.Add(otherEdited, Dump(holed.Root()), false);
    ASSERT_TRUE(holed.SetValue(*holed.FindKey("A"), "y", 1, {'a', 0}));
    const Bytes edited = Bytes_(holed);
    const auto packed = Blocks(edited)[0];
    std::vector<std::uint16_t> ids;
    for (std::size_t at = creg::kBlockHeaderSize; at < packed.size(); at += creg::Get32(packed, at))
        ids.push_back(creg::Get16(packed, at + creg::record::kId));
    EXPECT_EQ(ids, (std::vector<std::uint16_t>{0, 2, 3, creg::kNoId}));
    EXPECT_EQ(creg::Get32(packed, creg::block::kFreeOffset) + creg::Get32(packed, creg::block::kUnused), packed.size());
    const creg::Hive::Contents read = creg::Read(edited);
    const Key &c = *read.root->children[1];
    EXPECT_EQ(c.reserved, 0x12345678u);
    EXPECT_EQ(c.values[0].unknown, creg::kNone);
    oracles.Add(edited, Dump(holed.Root()), false);
    oracles.ExpectAgree();
}

// Flag bits no source explains are kept as the file has them; a new block takes the flags of
// the file's last one; checksums are right wherever their bit is set.
TEST(CregWriter, FlagsAreKeptAndChecksumsFollowThem)
{
    const struct {
        std::uint16_t file;
        std::uint32_t tree;
        std::uint16_t block;
    } cases[] = {{0x0, 0x9, 0x9}, {0x1, 0xC, 0xB}, {0x5, 0xF, 0xF}, {0x4, 0x2, 0x8}};
    for (const auto &flags : cases) {
        Bytes file = Bytes_(Hive::Empty());
        creg::Put16(file, creg::file::kFlags, flags.file);
        creg::Put32(file, creg::kTreeStart + creg::tree::kFlags, flags.tree);
        creg::Put16(file, creg::kTreeStart + creg::kTreeFirstPage + creg::block::kFlags, flags.block);
        Reseal(file);
        Hive hive = Loaded(file);
        Key *key = nullptr;
        for (const char *path : {"One\\Two", "Three"}) { // too large to share a block
            ASSERT_TRUE(hive.CreateKey(path, &key));
            for (const char *name : {"a", "b", "c"})
                ASSERT_TRUE(hive.SetValue(*key, name, 3, Bytes(15000, 3)));
        }
        const Bytes out = Bytes_(hive);
        EXPECT_EQ(creg::Get16(out, creg::file::kFlags), flags.file);
        EXPECT_EQ(creg::Get32(Tree(out), creg::tree::kFlags), flags.tree);
        EXPECT_TRUE(!(flags.file & creg::kChecksumValid) || creg::DwordSum(std::span(out).first(32)) == 0);
        EXPECT_TRUE(!(flags.tree & creg::kChecksumValid) || creg::DwordSum(Tree(out)) == 0);
        ASSERT_EQ(Blocks(out).size(), 2u);
        for (const auto block : Blocks(out)) {
            EXPECT_EQ(creg::Get16(block, creg::block::kFlags), flags.block);
            EXPECT_TRUE(!(flags.block & creg::kChecksumValid) || creg::DwordSum(block) == 0);
        }
    }
}

TEST(CregNames, HashAndCompareAsWindows9x)
{
    const struct {
        const char *name;
        std::uint32_t skipHigh, signedHigh;
    } hashes[] = {
        {"SOFTWARE", 0x26B, 0x26B}, {"software", 0x26B, 0x26B}, {"Caf\xe9", 0xCA, 0xB3}, {"\xc4\xd6", 0, 0xFFFFFF9A}};
    for (const auto &h : hashes) {
        EXPECT_EQ(creg::NameHash(h.name, creg::HashRule::SkipHigh), h.skipHigh) << h.name;
        EXPECT_EQ(creg::NameHash(h.name, creg::HashRule::SignedHigh), h.signedHigh) << h.name;
    }
    EXPECT_TRUE(creg::SameName("Software\\x{}", "SOFTWARE\\X{}"));
    EXPECT_FALSE(creg::SameName("caf\xe9", "CAF\xc9")); // bytes above 0x7F compare as they are
    EXPECT_FALSE(creg::SameName("a", "ab"));
}

// The file's own keys tell how it hashes names with bytes above 0x7F; new keys follow them,
// and a file that hashes them both ways is refused.
TEST(CregNames, NewKeysHashHighBytesAsTheFileDoes)
{
    for (const creg::HashRule rule : {creg::HashRule::SkipHigh, creg::HashRule::SignedHigh}) {
        Hive hive = Hive::Empty();
        Key *key = nullptr;
        ASSERT_TRUE(hive.CreateKey("Caf\xe9", &key));
        Bytes file = Bytes_(hive);
        creg::Put32(file, creg::kTreeStart + key->entry + creg::entry::kHash, creg::NameHash(key->name, rule));
        Reseal(file);
        Hive again = Loaded(file);
        ASSERT_TRUE(again.CreateKey("\xc4rger", &key));
        Bytes out = Bytes_(again);
        const std::size_t hashAt = creg::kTreeStart + key->entry + creg::entry::kHash;
        EXPECT_EQ(creg::Get32(out, hashAt), creg::NameHash(key->name, rule));
        creg::Put32(out, hashAt,
                    creg::NameHash(key->name, rule == creg::HashRule::SkipHigh ? creg::HashRule::SignedHigh
                                                                               : creg::HashRule::SkipHigh));
        Reseal(out);
        EXPECT_FALSE(Loaded(out).Writable());
    }
}
