// One registry hive in Wine's text format ("WINE REGISTRY Version 2"), held so that a save
// reproduces every block and value it did not change byte for byte.
//
// The file text stays in memory as it was read. Keys and values keep the span of their text in
// it; a value is decoded only when it is read, and re-encoded only when it was written. A key
// whose block changed gets a new header and keeps the unchanged value lines as they were.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace win::detail
{

struct Span {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};

// A key's or value's name (UTF-8). A name read from a file that needs no unescaping views the
// file's text, which its hive keeps; any other name holds its own copy.
class Name
{
public:
    Name() = default;
    explicit Name(std::string_view text) { Assign(text); }
    Name(Name &&other) noexcept { Take(other); }
    Name &operator=(Name &&other) noexcept
    {
        if (this != &other) {
            Free();
            Take(other);
        }
        return *this;
    }
    Name(const Name &other) = delete;
    Name &operator=(const Name &other) = delete;
    Name &operator=(std::string_view text)
    {
        Name copy(text); // `text` may be this name's own
        return *this = std::move(copy);
    }
    ~Name() { Free(); }

    // A name that views `text`, which must outlive it.
    static Name Viewing(std::string_view text)
    {
        Name name;
        if (text.empty())
            return name;
        name.data_ = text.data();
        name.size_ = static_cast<std::uint32_t>(text.size());
        return name;
    }

    const char *data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // A name is used as text wherever a string or a view of one is.
    operator std::string_view() const { return {data_, size_}; }
    operator std::string() const { return {data_, size_}; }
    friend bool operator==(const Name &name, std::string_view text) { return std::string_view(name) == text; }
    friend std::string operator+(std::string text, const Name &name) { return text.append(name.data_, name.size_); }
    friend std::string operator+(const char *text, const Name &name) { return std::string(text) + name; }
    friend std::ostream &operator<<(std::ostream &out, const Name &name) { return out << std::string_view(name); }

private:
    void Assign(std::string_view text)
    {
        size_ = static_cast<std::uint32_t>(text.size());
        if (text.empty()) {
            data_ = "";
            return;
        }
        auto *copy = new char[text.size()];
        text.copy(copy, text.size());
        data_ = copy;
        owned_ = true;
    }
    void Take(Name &other)
    {
        data_ = std::exchange(other.data_, "");
        size_ = std::exchange(other.size_, 0);
        owned_ = std::exchange(other.owned_, false);
    }
    void Free()
    {
        if (owned_)
            delete[] data_;
        owned_ = false;
    }

    const char *data_ = "";
    std::uint32_t size_ = 0;
    bool owned_ = false;
};

// A value's type and stored bytes (string types as UTF-16LE with their terminator).
struct ValueData {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> bytes;
};

struct Value {
    Name name;                       // as spelled when created
    Span text;                       // its line(s) in the source, while unchanged
    std::unique_ptr<ValueData> data; // the data once written in this process
};

struct Key {
    Name name;
    Key *parent = nullptr;
    std::vector<std::unique_ptr<Key>> children; // in stored order
    std::vector<Value> values;                  // in stored order
    std::uint64_t modified = 0;                 // FILETIME ticks
    Span block;                                 // the block's text in the source, while unchanged
    std::unique_ptr<std::string> className;
    std::unique_ptr<std::vector<Span>> otherLines; // options and lines the format does not define, as read
    bool blockUnchanged = false;
    bool childrenSorted = true; // stored order agrees with CompareNames: lookups may bisect
    bool valuesSorted = true;
    bool isLink = false;
    bool isVolatile = false;
};

class Hive
{
public:
    // Parses a file's text. Returns false when it is not a registry file (its first line is not
    // the format's header, or a key line is malformed); the hive is then left empty.
    bool Parse(std::string text);

    // The file text of the hive as it stands.
    std::string Serialize() const;

    Key &Root() { return *root_; }
    const Key &Root() const { return *root_; }

    static Key *FindChild(const Key &parent, std::string_view name);
    static Value *FindValue(Key &key, std::string_view name);

    Key &AddChild(Key &parent, std::string_view name, std::uint64_t now);
    void RemoveChild(Key &parent, const Key &child, std::uint64_t now);

    // The value's type and bytes, decoded from the source when it was not written since.
    ValueData Read(const Value &value) const;
    void SetValue(Key &key, std::string_view name, ValueData data, std::uint64_t now);
    bool RemoveValue(Key &key, std::string_view name, std::uint64_t now);

    // The target of a link key (the "SymbolicLinkValue" as UTF-8), empty when there is none.
    std::string LinkTarget(Key &key) const;

    // The text before the first key: the header, "#arch" and comments.
    std::string_view Preamble() const;

    static void Touch(Key &key, std::uint64_t now);

private:
    std::string_view Text(Span span) const { return std::string_view(source_).substr(span.offset, span.length); }
    void WriteKey(const Key &key, std::string &out) const;
    void WriteBlock(const Key &key, std::string &out) const;
    static std::string EscapedPath(const Key &key);

    std::string source_;
    Span preamble_;
    std::unique_ptr<Key> root_ = std::make_unique<Key>();
};

// FILETIME ticks of the present moment.
std::uint64_t FileTimeNow();

// The Wine format's text pieces, shared by the parser, the writer and the tests.
namespace regtext
{

// Escapes UTF-16 units the way Wine writes names and string data; `quote` is the pair of
// characters escaped besides the backslash ("[]" in key names, "\"\"" elsewhere).
void Escape(std::u16string_view units, const char quote[2], std::string &out);

// Reads an escaped string up to its unescaped `end` character, starting at `pos`, and leaves
// `pos` after that character. Returns false when the end character is missing.
bool Unescape(std::string_view text, size_t &pos, char end, std::u16string &out);

// A value's text as Wine writes it: name, '=', data, with hex data wrapped at Wine's width.
std::string FormatValue(std::string_view name, const ValueData &data);

// Decodes the data part of a value line (after '='). A malformed value gives REG_NONE, empty.
ValueData ParseData(std::string_view data);

// The type and bytes of a value's whole text ("name"=data or @=data, blanks allowed around the
// '='), REG_NONE and empty when it is malformed.
ValueData ParseValueText(std::string_view text);

// One line of a registry file's text.
struct Line {
    size_t begin = 0;   // first byte of the line
    size_t content = 0; // first byte after the leading blanks
    size_t end = 0;     // the line's end, before "\r\n" or "\n"
    size_t next = 0;    // start of the following line
};

// Reads a registry file's text line by line from `from` on; lines end in LF or CR LF.
class LineReader
{
public:
    explicit LineReader(std::string_view text, size_t from = 0) : text_(text), pos_(from) {}

    // Defined here so that the parse loop, which calls it for every line, can inline it.
    bool Next(Line &line)
    {
        if (pos_ >= text_.size())
            return false;
        line.begin = pos_;
        size_t nl = text_.find('\n', pos_);
        if (nl == std::string_view::npos)
            nl = text_.size();
        line.next = nl < text_.size() ? nl + 1 : nl;
        line.end = (nl > pos_ && text_[nl - 1] == '\r') ? nl - 1 : nl;
        line.content = pos_;
        while (line.content < line.end && (text_[line.content] == ' ' || text_[line.content] == '\t'))
            ++line.content;
        pos_ = line.next;
        return true;
    }

private:
    std::string_view text_;
    size_t pos_;
};

// What a line is, told by its first character after the leading blanks, as Wine reads them:
// '[' opens a key, '#' is an option, '@' or '"' a value; ';' comments and anything else Wine
// reports and skips are Other.
enum class LineKind { Empty, Key, Option, Value, Other };
inline LineKind KindOf(std::string_view text, const Line &line)
{
    if (line.content == line.end)
        return LineKind::Empty;
    switch (text[line.content]) {
    case '[': return LineKind::Key;
    case '#': return LineKind::Option;
    case '@':
    case '"': return LineKind::Value;
    default: return LineKind::Other;
    }
}

// The path of a key line ("[path] time"): its names unescaped, joined by single backslashes;
// `after` is where the text after the ']' starts. False when the ']' is missing.
bool ReadKeyPath(std::string_view text, const Line &line, std::string &path, size_t &after);

// The name of a value line ("" for '@') and where its text ends: hex data whose line ends in a
// backslash goes on over the following lines, which `reader` is moved past. False when the
// name is malformed.
bool ReadValueLine(std::string_view text, const Line &line, LineReader &reader, std::string &name, size_t &end);
// The same, with a name that needs no unescaping viewing `text`, and `unescaped` holding it
// otherwise.
bool ReadValueLine(std::string_view text, const Line &line, LineReader &reader, std::string_view &name,
                   std::string &unescaped, size_t &end);

} // namespace regtext

} // namespace win::detail
