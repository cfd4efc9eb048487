// The Windows 9x registry file reader and writer, checked against readers written by others:
// libcreg (python3-libcreg and cregexport), Parse::Win32Registry and the strict checker
// creg_check.py. Each file the writer makes must read the same in all of them as in a plain
// model of the edits, and blocks no edit touched must keep their bytes.
#include "Shell.h"
#include "TempMachine.h"
#include "creg_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>

namespace creg = win::creg;
using creg::Fault;
using creg::Hive;
using creg::Key;
using Bytes = std::vector<std::uint8_t>;

namespace
{

template <class Text> std::string HexOf(const Text &bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const auto c : bytes)
        hex += std::string{kDigits[static_cast<unsigned char>(c) >> 4], kDigits[c & 0xF]};
    return hex;
}

// What a tree reads as, in the form creg_oracles.py compares: "K/<name>/..." for each key,
// then "V <name> <type> <data>" for its values, depth first, in stored order.
std::string Dump(const Key &key, const std::string &path = "")
{
    std::string out = "K" + path + "\n";
    for (const creg::Value &v : key.values)
        out += "V " + HexOf(v.name) + " " + std::to_string(v.type) + " " + HexOf(v.data) + "\n";
    for (const auto &child : key.children)
        out += Dump(*child, path + "/" + HexOf(child->name));
    return out;
}

Bytes Saved(const Hive &hive)
{
    Bytes out;
    const creg::Status written = hive.Serialize(out);
    EXPECT_TRUE(written) << written.reason;
    return out;
}

Hive Loaded(Bytes file)
{
    Hive hive;
    EXPECT_TRUE(hive.Load(std::move(file)));
    return hive;
}

constexpr char kOracles[] = "/usr/bin/python3 " CREG_ORACLES "/creg_oracles.py ";

// Skips a test when a reader to compare with, or the shared checker, is missing.
#define REQUIRE_ORACLES()                                                                                              \
    if (const std::string missing = Shell(kOracles + std::string("--missing " CREG_CHECKER " 2>&1")); missing != "\n") \
    GTEST_SKIP() << "Registry readers to compare with are missing (make deps installs them): " << missing

// Files with what they should read as, for creg_oracles.py; cregexport reads only the files
// marked `full`, as it is slow on large ones.
struct Oracles {
    std::string folder = MakeTempFolder("creg"), files;
    ~Oracles() { RemoveFolder(folder); }

    void Add(const Bytes &file, const std::string &expected, bool full = true)
    {
        const std::string path = folder + "/" + std::to_string(files.size()) + (full ? ".full.dat" : ".dat");
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(file.data()), std::ssize(file));
        std::ofstream(path + ".txt") << expected;
        files += " " + path;
    }

    void ExpectAgree() const { EXPECT_EQ(Shell(kOracles + std::string(CREG_CHECKER) + files + " 2>&1"), ""); }
};

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

// Seals again the sections whose checksum bit is set, after a test changed their bytes.
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

void ForEachKey(const Key &key, const std::function<void(const Key &)> &visit)
{
    visit(key);
    for (const auto &child : key.children)
        ForEachKey(*child, visit);
}

// Random edits on the writer and on a plain model tree alike, from a fixed seed.
struct RandomEdits {
    std::mt19937 rng{24};
    Key model;
    Hive hive = Hive::Empty();
    std::set<std::uint16_t> touched; // the blocks the last edit may change
    bool treeKept = false;           // the last edit must leave the key tree as it was
    bool moved = false;              // some key's record had to move to another block
    std::size_t keys = 0;

    std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); }

    std::string Name()
    {
        static constexpr char kChars[] = "abcwXYZ019 _.{-}\xe9\xc4\xdf\xfc";
        std::string name(Below(20) == 0 ? 100 + Below(150) : 1 + Below(12), ' ');
        for (char &c : name)
            c = kChars[Below(sizeof kChars - 1)];
        return name;
    }

    static std::string Flipped(std::string name) // ASCII letters' case turned round
    {
        std::ranges::transform(name, name.begin(), [](char c) { return c > 0 && std::isalpha(c) ? char(c ^ 32) : c; });
        return name;
    }

    Bytes Data(std::uint32_t type)
    {
        const std::size_t roll = Below(20), size = roll ? roll < 4 ? 50 + Below(600) : Below(40) : 4000 + Below(8000);
        Bytes data(type == creg::kRegDword ? 4 : size);
        for (auto &b : data)
            b = static_cast<std::uint8_t>(Below(256));
        return data;
    }

    void Step(std::size_t addPercent)
    {
        std::vector<std::pair<Key *, Key *>> spots{{&model, &hive.Root()}}; // model key, hive key
        for (std::size_t i = 0; i < spots.size(); ++i)
            for (const auto &child : spots[i].first->children)
                spots.emplace_back(child.get(), Hive::FindChild(*spots[i].second, child->name));
        const auto [m, k] = spots[Below(spots.size())];
        ASSERT_NE(k, nullptr);
        touched = {k->block};
        treeKept = false;
        const std::size_t op = Below(100);
        if (op < addPercent)
            AddKey(*m, *k);
        else if (op < 75 || m->values.empty())
            SetValue(*m, *k);
        else if (op < 96 || !m->parent)
            RemoveValue(*m, *k);
        else
            RemoveKey(*m, *k);
    }

    void AddKey(Key &m, Key &k)
    {
        const std::string name = !m.children.empty() && Below(10) == 0 ? Flipped(m.children[0]->name) : Name();
        Key *added = nullptr;
        ASSERT_TRUE(hive.AddChild(k, name, &added));
        if (!Hive::FindChild(m, name)) {
            m.children.push_back(std::make_unique<Key>(Key{name, &m, {}, {}}));
            ++keys;
        }
        touched = {added->block};
    }

    void SetValue(Key &m, Key &k)
    {
        const bool replace = !m.values.empty() && Below(3) == 0;
        const std::string name = replace ? Flipped(m.values[Below(m.values.size())].name) : Below(20) ? Name() : "";
        static constexpr std::uint32_t kTypes[] = {0, 1, 2, 3, 4, 7, 0x80000001};
        const std::uint32_t type = kTypes[Below(std::size(kTypes))];
        const Bytes data = Data(type);
        creg::Value *found = Hive::FindValue(m, name);
        const std::size_t used =
            creg::RecordUsed(k) + data.size() + (found ? 0 - found->data.size() : 12 + name.size());
        if (const creg::Status set = hive.SetValue(k, name, type, data); !set) {
            EXPECT_EQ(set.fault, m.parent ? Fault::TooLarge : Fault::NotAllowed) << set.reason;
            EXPECT_TRUE(!m.parent || used > creg::kMaxBlockSize - creg::kBlockHeaderSize);
            return;
        }
        found ? void(*found = {found->name, type, 0, data}) : void(m.values.push_back({name, type, 0, data}));
        treeKept = touched.contains(k.block);
        moved |= !treeKept;
        touched.insert(k.block);
    }

    void RemoveValue(Key &m, Key &k)
    {
        const auto which = m.values.begin() + static_cast<std::ptrdiff_t>(Below(m.values.size()));
        ASSERT_TRUE(hive.RemoveValue(k, Flipped(which->name)));
        m.values.erase(which);
        treeKept = true;
    }

    void RemoveKey(Key &m, Key &k)
    {
        ForEachKey(k, [&](const Key &gone) {
            touched.insert(gone.block);
            --keys;
        });
        ASSERT_TRUE(hive.RemoveChild(*k.parent, k));
        std::erase_if(m.parent->children, [&](const auto &child) { return child.get() == &m; });
    }
};

} // namespace

TEST(CregWriter, RandomEditsReadTheSameInEveryOracleAndKeepUntouchedBlocks)
{
    REQUIRE_ORACLES();
    RandomEdits edits;
    Oracles oracles;
    while (edits.keys < 270)
        edits.Step(60);
    Bytes before = Saved(edits.hive);
    const std::size_t blocksAtStart = Blocks(before).size(), treeAtStart = Tree(before).size();
    std::size_t fullest = 0;
    for (int step = 0; step < 300 && !HasFatalFailure(); ++step) {
        edits.hive = Loaded(before);
        edits.Step(45);
        const Bytes after = Saved(edits.hive);
        const auto old = Blocks(before), now = Blocks(after);
        for (std::size_t b = 0; b < old.size(); ++b)
            EXPECT_TRUE(edits.touched.contains(static_cast<std::uint16_t>(b)) || std::ranges::equal(old[b], now[b]))
                << "step " << step << " changed block " << b;
        EXPECT_TRUE(!edits.treeKept || std::ranges::equal(Tree(before), Tree(after))) << "step " << step;
        const Hive::Contents read = creg::Read(after);
        EXPECT_EQ(Dump(*read.root), Dump(edits.model)) << "step " << step;
        for (const auto &block : read.blocks)
            fullest = std::max(fullest, block.keys.size());
        if (step % 10 == 9)
            oracles.Add(after, Dump(edits.model), step % 150 == 149);
        before = after;
    }
    oracles.ExpectAgree();
    // The sequence went through what it is meant to cover, and kept entries on the page grid.
    EXPECT_EQ(fullest, creg::kMaxRecordsPerBlock);
    EXPECT_TRUE(edits.moved);
    EXPECT_GT(Tree(before).size(), treeAtStart);
    EXPECT_GT(Blocks(before).size(), blocksAtStart);
    ForEachKey(*creg::Read(before).root,
               [](const Key &key) { EXPECT_EQ(creg::GridSlotAtOrAfter(key.entry), key.entry); });
}

// Files the checker's own code writes (its sample, and a block it packs full of unaligned
// records, which grows when laid out again) read, edit and check clean; each of its broken
// variants is refused and opens read-only.
TEST(CregChecker, OthersFilesAreEditedAndEveryBrokenVariantRefused)
{
    REQUIRE_ORACLES();
    const std::string folder = MakeTempFolder("creg-mutants"), python = "/usr/bin/python3 ";
    Shell(python + CREG_CHECKER " --mutants " + folder + " >/dev/null; " + python + CREG_CHECKER " " + folder +
          "/sample >/dev/null; cd " + folder + " && " + python +
          "-c 'import runpy; c = runpy.run_path(\"" CREG_CHECKER "\"); open(\"packed\", \"wb\").write(c[\"build\"]("
          "[c[\"Key\"](\"K%03d\" % i, [(\"v\", 3, b\"x\")]) for i in range(106)]))'");
    std::vector<std::pair<std::string, Bytes>> files;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        files.emplace_back(entry.path().filename(), Bytes(std::istreambuf_iterator<char>(in), {}));
    }
    RemoveFolder(folder);
    ASSERT_EQ(files.size(), 11u);
    Oracles oracles;
    for (auto &[name, file] : files) {
        Hive hive;
        const creg::Status loaded = hive.Load(file);
        if (name != "sample" && name != "packed") {
            EXPECT_FALSE(creg::Check(file).empty()) << name;
            EXPECT_TRUE(!loaded || hive.SetValue(hive.Root(), "", 1, {}).fault == Fault::ReadOnly) << name;
            continue;
        }
        ASSERT_TRUE(loaded && hive.Writable()) << name << ": " << hive.ReadOnlyReason();
        oracles.Add(file, Dump(hive.Root()));
        Key &first = *hive.Root().children[0], *added = nullptr;
        ASSERT_TRUE(hive.RemoveValue(first, first.values[0].name));
        ASSERT_TRUE(hive.CreateKey("Korvex\\Deeper\\Deepest", &added));
        ASSERT_TRUE(hive.SetValue(*added, "Name", 1, {'x', 0}));
        oracles.Add(Saved(hive), Dump(hive.Root()));
    }
    oracles.ExpectAgree();
}

// Edits beyond the limits of the format and of Windows 9x fail with a reason and change nothing.
TEST(CregWriter, EditsBeyondTheLimitsChangeNothing)
{
    Hive hive = Hive::Empty();
    Key *key = nullptr;
    ASSERT_TRUE(hive.CreateKey("Limits", &key));
    for (const char *name : {"big1", "big2", "big3"})
        ASSERT_TRUE(hive.SetValue(*key, name, 3, Bytes(16000)));
    const std::pair<Fault, std::function<creg::Status()>> cases[] = {
        {Fault::TooLarge, [&] { return hive.SetValue(*key, "v", 3, Bytes(16301)); }},
        {Fault::TooLarge, [&] { return hive.SetValue(*key, "big4", 3, Bytes(16000)); }}, // over 60 KiB
        {Fault::BadName, [&] { return hive.SetValue(*key, std::string(256, 'v'), 1, {}); }},
        {Fault::BadName, [&] { return hive.SetValue(*key, std::string("a\0b", 3), 1, {}); }},
        {Fault::BadData, [&] { return hive.SetValue(*key, "d", 4, Bytes(3)); }},
        {Fault::NotAllowed, [&] { return hive.SetValue(hive.Root(), "v", 1, {}); }},
        {Fault::BadName, [&] { return hive.AddChild(*key, ""); }},
        {Fault::BadName, [&] { return hive.AddChild(*key, "a\\b"); }},
        {Fault::BadName, [&] { return hive.AddChild(*key, std::string(256, 'k')); }},
        {Fault::BadName, [&] { return hive.CreateKey(std::string("Limits\\New\\x\0", 13)); }},
        {Fault::NotFound, [&] { return hive.RemoveValue(*key, "none"); }},
        {Fault::NotFound, [&] { return hive.RemoveChild(*key, hive.Root()); }},
    };
    const Bytes before = Saved(hive);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const creg::Status status = cases[i].second();
        EXPECT_TRUE(status.fault == cases[i].first && !status.reason.empty()) << "case " << i << ": " << status.reason;
        EXPECT_EQ(Saved(hive), before) << "case " << i;
    }
}

// A Windows 98 block, with a free record between key records, keeps its bytes until an edit
// touches it; then its records are packed with one free record at the end. Words no source
// explains stay as they were.
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
    ASSERT_EQ(k[4]->block, 1);
    Bytes file = Saved(hive);
    const std::size_t block0 = creg::Get32(file, creg::file::kBlocksOffset);
    const auto recordOf = [&](const Key *key) {
        std::size_t r = block0 + creg::kBlockHeaderSize;
        while (creg::Get16(file, r + creg::record::kId) != key->id)
            r += creg::Get32(file, r + creg::record::kSize);
        return r;
    };
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
    const Bytes otherEdited = Saved(holed);
    EXPECT_TRUE(std::ranges::equal(Blocks(otherEdited)[0], Blocks(file)[0]));
    oracles.Add(otherEdited, Dump(holed.Root()), false);
    ASSERT_TRUE(holed.SetValue(*holed.FindKey("A"), "y", 1, {'a', 0}));
    const Bytes edited = Saved(holed);
    const auto packed = Blocks(edited)[0];
    std::vector<std::uint16_t> ids;
    for (std::size_t at = creg::kBlockHeaderSize; at < packed.size(); at += creg::Get32(packed, at))
        ids.push_back(creg::Get16(packed, at + creg::record::kId));
    EXPECT_EQ(ids, (std::vector<std::uint16_t>{0, 2, 3, creg::kNoId}));
    EXPECT_EQ(creg::Get32(packed, creg::block::kFreeOffset) + creg::Get32(packed, creg::block::kUnused), packed.size());
    const Hive::Contents read = creg::Read(edited);
    EXPECT_EQ(read.root->children[1]->reserved, 0x12345678u);
    EXPECT_EQ(read.root->children[1]->values[0].unknown, creg::kNone);
    oracles.Add(edited, Dump(holed.Root()), false);
    oracles.ExpectAgree();
}

// Flag bits no source explains are kept as the file has them; a new block takes the flags of
// the file's last one; checksums are right wherever their bit is set.
TEST(CregWriter, FlagsAreKeptAndChecksumsFollowThem)
{
    const std::uint32_t cases[][3] = {{0x0, 0x9, 0x9}, {0x1, 0xC, 0xB}, {0x5, 0xF, 0xF}, {0x4, 0x2, 0x8}};
    for (const auto &[fileFlags, treeFlags, blockFlags] : cases) {
        Bytes file = Saved(Hive::Empty());
        creg::Put16(file, creg::file::kFlags, fileFlags);
        creg::Put32(file, creg::kTreeStart + creg::tree::kFlags, treeFlags);
        creg::Put16(file, creg::kTreeStart + creg::kTreeFirstPage + creg::block::kFlags, blockFlags);
        Reseal(file);
        Hive hive = Loaded(file);
        Key *key = nullptr;
        for (const char *path : {"One\\Two", "Three"}) { // too large to share a block
            ASSERT_TRUE(hive.CreateKey(path, &key));
            for (const char *name : {"a", "b", "c"})
                ASSERT_TRUE(hive.SetValue(*key, name, 3, Bytes(15000, 3)));
        }
        const Bytes out = Saved(hive);
        EXPECT_EQ(creg::Get16(out, creg::file::kFlags), fileFlags);
        EXPECT_EQ(creg::Get32(Tree(out), creg::tree::kFlags), treeFlags);
        EXPECT_TRUE(!(fileFlags & creg::kChecksumValid) || creg::DwordSum(std::span(out).first(32)) == 0);
        EXPECT_TRUE(!(treeFlags & creg::kChecksumValid) || creg::DwordSum(Tree(out)) == 0);
        ASSERT_EQ(Blocks(out).size(), 2u);
        for (const auto block : Blocks(out)) {
            EXPECT_EQ(creg::Get16(block, creg::block::kFlags), blockFlags);
            EXPECT_TRUE(!(blockFlags & creg::kChecksumValid) || creg::DwordSum(block) == 0);
        }
    }
}

// Names compare with ASCII letters folded and other bytes as they are. The file's own keys tell
// how it hashes names with bytes above 0x7F; new keys follow them, and a file that hashes them
// both ways is refused.
TEST(CregNames, CompareAndHashAsWindows9xAndTheFileDo)
{
    EXPECT_TRUE(creg::SameName("Software\\x{}", "SOFTWARE\\X{}"));
    EXPECT_FALSE(creg::SameName("caf\xe9", "CAF\xc9"));
    EXPECT_EQ(creg::NameHash("software"), 0x26Bu);
    EXPECT_EQ(creg::NameHash("Caf\xe9", creg::HashRule::SignedHigh), 0xCAu - 0x17u);
    using enum creg::HashRule;
    for (const creg::HashRule rule : {SkipHigh, SignedHigh}) {
        Key *key = nullptr;
        Hive hive = Hive::Empty();
        ASSERT_TRUE(hive.CreateKey("Caf\xe9", &key));
        Bytes file = Saved(hive);
        creg::Put32(file, creg::kTreeStart + key->entry + creg::entry::kHash, creg::NameHash(key->name, rule));
        Reseal(file);
        hive = Loaded(file);
        ASSERT_TRUE(hive.CreateKey("\xc4rger", &key));
        file = Saved(hive);
        const std::size_t hashAt = creg::kTreeStart + key->entry + creg::entry::kHash;
        EXPECT_EQ(creg::Get32(file, hashAt), creg::NameHash(key->name, rule));
        creg::Put32(file, hashAt, creg::NameHash(key->name, rule == SkipHigh ? SignedHigh : SkipHigh));
        Reseal(file);
        EXPECT_FALSE(Loaded(file).Writable());
    }
}
