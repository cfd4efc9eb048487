#include "hive.h"
#include "unicode.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace win::detail
{

namespace
{

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kTicks1601To1970 = 11'644'473'600ull * kTicksPerSecond;
constexpr std::string_view kHeader = "WINE REGISTRY Version 2";

struct Line {
    size_t begin = 0;   // first byte of the line
    size_t content = 0; // first byte after the leading blanks
    size_t end = 0;     // the line's end, before "\r\n" or "\n"
    size_t next = 0;    // start of the following line
};

class LineReader
{
public:
    explicit LineReader(std::string_view text) : text_(text) {}

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

    size_t Position() const { return pos_; }
    void Rewind(size_t pos) { pos_ = pos; }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

std::uint64_t TicksFromUnixSeconds(std::uint64_t seconds)
{
    return seconds * kTicksPerSecond + kTicks1601To1970;
}

Span MakeSpan(size_t begin, size_t end)
{
    return Span{static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(end - begin)};
}

template <typename T, typename NameOf> T *Bisect(const std::vector<T> &items, std::string_view name, NameOf nameOf)
{
    auto it = std::lower_bound(items.begin(), items.end(), name,
                               [&](const T &item, std::string_view n) { return CompareNames(nameOf(item), n) < 0; });
    if (it != items.end() && SameName(nameOf(*it), name))
        return const_cast<T *>(&*it);
    return nullptr;
}

template <typename T, typename NameOf> T *Scan(const std::vector<T> &items, std::string_view name, NameOf nameOf)
{
    for (const T &item : items)
        if (SameName(nameOf(item), name))
            return const_cast<T *>(&item);
    return nullptr;
}

// Where a new name goes: its sorted place in a sorted list, else the end.
template <typename T, typename NameOf>
size_t InsertionPoint(const std::vector<T> &items, bool sorted, std::string_view name, NameOf nameOf)
{
    if (!sorted)
        return items.size();
    auto it = std::lower_bound(items.begin(), items.end(), name,
                               [&](const T &item, std::string_view n) { return CompareNames(nameOf(item), n) < 0; });
    return static_cast<size_t>(it - items.begin());
}

const std::string &KeyName(const std::unique_ptr<Key> &key)
{
    return key->name;
}

const std::string &ValueName(const Value &value)
{
    return value.name;
}

// The value's name from the start of its line: "" for '@', else the unescaped quoted name.
bool ParseValueName(std::string_view text, size_t &pos, std::string &name)
{
    if (text[pos] == '@') {
        ++pos;
        name.clear();
        return true;
    }
    std::u16string units;
    ++pos;
    if (!regtext::Unescape(text, pos, '"', units))
        return false;
    name = Utf16ToUtf8(units);
    return true;
}

void AppendDecimal(std::string &out, std::uint64_t value)
{
    char buffer[32];
    const int n = std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(value));
    out.append(buffer, static_cast<size_t>(n));
}

bool KeyHasBlock(const Key &key)
{
    return !key.values.empty() || key.children.empty() || key.className || key.isLink;
}

} // namespace

std::uint64_t FileTimeNow()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ticks = std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>>(now);
    return static_cast<std::uint64_t>(ticks.count()) + kTicks1601To1970;
}

bool Hive::Parse(std::string text)
{
    source_ = std::move(text);
    root_ = std::make_unique<Key>();
    preamble_ = {};
    const std::string_view src(source_);

    LineReader reader(src);
    Line line;
    if (!reader.Next(line) || src.substr(line.begin, line.end - line.begin) != kHeader) {
        source_.clear();
        return false;
    }
    size_t preambleEnd = line.end;

    Key *current = nullptr;
    size_t blockEnd = 0; // end of the last non-empty line of the current block
    std::vector<Key *> lastPath;

    const auto closeBlock = [&] {
        if (current && current->blockUnchanged)
            current->block = MakeSpan(current->block.offset, blockEnd);
    };

    while (reader.Next(line)) {
        if (line.content == line.end)
            continue; // empty line
        const char first = src[line.content];
        if (!current && first != '[') {
            preambleEnd = line.end;
            continue;
        }
        if (first == '[') {
            closeBlock();
            size_t pos = line.content + 1;
            std::u16string path;
            if (!regtext::Unescape(src.substr(0, line.end), pos, ']', path)) {
                source_.clear();
                root_ = std::make_unique<Key>();
                return false;
            }
            // Find or create the key along its path. Files list keys depth-first, so the previous
            // key's ancestors are the likely parents.
            Key *key = root_.get();
            size_t depth = 0;
            size_t start = 0;
            const std::string utf8 = Utf16ToUtf8(path);
            std::string_view rest(utf8);
            while (start <= rest.size()) {
                size_t sep = rest.find('\\', start);
                if (sep == std::string_view::npos)
                    sep = rest.size();
                const std::string_view component = rest.substr(start, sep - start);
                start = sep + 1;
                if (component.empty())
                    continue;
                Key *child = nullptr;
                if (depth < lastPath.size() && lastPath[depth]->parent == key &&
                    SameName(lastPath[depth]->name, component)) {
                    child = lastPath[depth];
                } else if (!key->children.empty() && SameName(key->children.back()->name, component)) {
                    child = key->children.back().get();
                } else {
                    child = FindChild(*key, component);
                }
                if (!child) {
                    auto fresh = std::make_unique<Key>();
                    fresh->name = std::string(component);
                    fresh->parent = key;
                    if (!key->children.empty() && CompareNames(key->children.back()->name, component) > 0)
                        key->childrenSorted = false;
                    child = fresh.get();
                    key->children.push_back(std::move(fresh));
                }
                if (depth < lastPath.size())
                    lastPath.resize(depth);
                lastPath.push_back(child);
                key = child;
                ++depth;
            }
            lastPath.resize(depth);

            unsigned long long seconds = 0;
            if (std::sscanf(std::string(src.substr(pos, line.end - pos)).c_str(), " %llu", &seconds) == 1)
                key->modified = TicksFromUnixSeconds(seconds);
            // A key met twice merges; its block is written anew.
            const bool seenBefore = key->blockUnchanged || !key->values.empty() || key->className || key->isLink;
            current = key;
            current->blockUnchanged = !seenBefore;
            current->block = MakeSpan(line.begin, line.end);
            blockEnd = line.end;
            continue;
        }
        blockEnd = line.end;
        if (first == '#') {
            const std::string_view option = src.substr(line.content, line.end - line.content);
            if (option.substr(0, 6) == "#time=") {
                std::uint64_t ticks = 0;
                for (char c : option.substr(6)) {
                    const int d = (c >= '0' && c <= '9')   ? c - '0'
                                  : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                  : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                           : -1;
                    if (d < 0)
                        break;
                    ticks = ticks * 16 + static_cast<std::uint64_t>(d);
                }
                current->modified = ticks;
            } else if (option.substr(0, 8) == "#class=\"") {
                std::u16string units;
                size_t pos = line.content + 8;
                if (regtext::Unescape(src.substr(0, line.end), pos, '"', units))
                    current->className = std::make_unique<std::string>(Utf16ToUtf8(units));
                else
                    current->otherLines.push_back(MakeSpan(line.begin, line.end));
            } else if (option == "#link") {
                current->isLink = true;
            } else {
                current->otherLines.push_back(MakeSpan(line.begin, line.end));
            }
            continue;
        }
        if (first == '@' || first == '"') {
            size_t pos = line.content;
            std::string name;
            size_t valueEnd = line.end;
            if (ParseValueName(src.substr(0, line.end), pos, name)) {
                // Hex data may continue over lines that end in a backslash.
                size_t dataPos = pos;
                while (dataPos < line.end && (src[dataPos] == ' ' || src[dataPos] == '\t'))
                    ++dataPos;
                if (dataPos + 1 < line.end && src.substr(dataPos + 1, 3) == "hex") {
                    Line more = line;
                    while (more.end > more.content && src[more.end - 1] == '\\' && reader.Next(more))
                        valueEnd = more.end;
                    blockEnd = valueEnd;
                }
                Value *existing = FindValue(*current, name);
                if (existing) {
                    // A repeated value keeps the first spelling and the last data.
                    existing->text = MakeSpan(line.begin, valueEnd);
                    existing->data = std::make_unique<ValueData>(Read(*existing));
                    current->blockUnchanged = false;
                } else {
                    if (!current->values.empty() && CompareNames(current->values.back().name, name) > 0)
                        current->valuesSorted = false;
                    current->values.push_back(Value{std::move(name), MakeSpan(line.begin, valueEnd), nullptr});
                }
                continue;
            }
        }
        // Comments and anything the format does not define stay with their key.
        current->otherLines.push_back(MakeSpan(line.begin, line.end));
    }
    closeBlock();
    preamble_ = MakeSpan(0, preambleEnd);
    return true;
}

std::string_view Hive::Preamble() const
{
    return Text(preamble_);
}

std::string Hive::Serialize() const
{
    std::string out;
    out.reserve(source_.size() + 4096);
    out += Preamble();
    out.push_back('\n');
    WriteKey(*root_, out);
    return out;
}

void Hive::WriteKey(const Key &key, std::string &out) const
{
    if (key.isVolatile)
        return;
    if (KeyHasBlock(key))
        WriteBlock(key, out);
    for (const auto &child : key.children)
        WriteKey(*child, out);
}

std::string Hive::EscapedPath(const Key &key)
{
    std::vector<const Key *> chain;
    for (const Key *k = &key; k->parent; k = k->parent)
        chain.push_back(k);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!path.empty())
            path += "\\\\";
        regtext::Escape(Utf8ToUtf16((*it)->name), "[]", path);
    }
    return path;
}

void Hive::WriteBlock(const Key &key, std::string &out) const
{
    out.push_back('\n');
    if (key.blockUnchanged) {
        out += Text(key.block);
        out.push_back('\n');
        return;
    }
    out.push_back('[');
    out += EscapedPath(key);
    out += "] ";
    AppendDecimal(out, key.modified >= kTicks1601To1970 ? (key.modified - kTicks1601To1970) / kTicksPerSecond : 0);
    char time[40];
    std::snprintf(time, sizeof time, "\n#time=%x%08x\n", static_cast<unsigned>(key.modified >> 32),
                  static_cast<unsigned>(key.modified & 0xFFFFFFFFu));
    out += time;
    if (key.className) {
        out += "#class=\"";
        regtext::Escape(Utf8ToUtf16(*key.className), "\"\"", out);
        out += "\"\n";
    }
    if (key.isLink)
        out += "#link\n";
    for (const Span &line : key.otherLines) {
        out += Text(line);
        out.push_back('\n');
    }
    for (const Value &value : key.values) {
        if (value.data)
            out += regtext::FormatValue(value.name, *value.data);
        else
            out += Text(value.text);
        out.push_back('\n');
    }
}

Key *Hive::FindChild(const Key &parent, std::string_view name)
{
    const auto *found =
        parent.childrenSorted ? Bisect(parent.children, name, KeyName) : Scan(parent.children, name, KeyName);
    return found ? found->get() : nullptr;
}

Value *Hive::FindValue(Key &key, std::string_view name)
{
    return key.valuesSorted ? Bisect(key.values, name, ValueName) : Scan(key.values, name, ValueName);
}

void Hive::Touch(Key &key, std::uint64_t now)
{
    key.modified = now;
    key.blockUnchanged = false;
}

Key &Hive::AddChild(Key &parent, std::string_view name, std::uint64_t now)
{
    auto fresh = std::make_unique<Key>();
    fresh->name = std::string(name);
    fresh->parent = &parent;
    fresh->modified = now;
    Key &added = *fresh;
    const size_t at = InsertionPoint(parent.children, parent.childrenSorted, name, KeyName);
    parent.children.insert(parent.children.begin() + static_cast<std::ptrdiff_t>(at), std::move(fresh));
    Touch(parent, now);
    return added;
}

void Hive::RemoveChild(Key &parent, const Key &child, std::uint64_t now)
{
    auto &children = parent.children;
    children.erase(std::remove_if(children.begin(), children.end(),
                                  [&](const std::unique_ptr<Key> &k) { return k.get() == &child; }),
                   children.end());
    Touch(parent, now);
}

ValueData Hive::Read(const Value &value) const
{
    if (value.data)
        return *value.data;
    const std::string_view text = Text(value.text);
    size_t pos = text.find_first_not_of(" \t");
    std::string name;
    if (pos == std::string_view::npos || !ParseValueName(text, pos, name))
        return {};
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    if (pos >= text.size() || text[pos] != '=')
        return {};
    ++pos;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    return regtext::ParseData(text.substr(pos));
}

void Hive::SetValue(Key &key, std::string_view name, ValueData data, std::uint64_t now)
{
    Value *value = FindValue(key, name);
    if (!value) {
        const size_t at = InsertionPoint(key.values, key.valuesSorted, name, ValueName);
        key.values.insert(key.values.begin() + static_cast<std::ptrdiff_t>(at), Value{std::string(name), {}, nullptr});
        value = &key.values[at];
    }
    value->data = std::make_unique<ValueData>(std::move(data));
    Touch(key, now);
}

bool Hive::RemoveValue(Key &key, std::string_view name, std::uint64_t now)
{
    Value *value = FindValue(key, name);
    if (!value)
        return false;
    key.values.erase(key.values.begin() + (value - key.values.data()));
    Touch(key, now);
    return true;
}

std::string Hive::LinkTarget(Key &key) const
{
    if (!key.isLink)
        return {};
    const Value *value = FindValue(key, "SymbolicLinkValue");
    if (!value)
        return {};
    const ValueData data = Read(*value);
    std::u16string units = Utf16LeUnits(data.bytes);
    while (!units.empty() && units.back() == 0)
        units.pop_back();
    return Utf16ToUtf8(units);
}

} // namespace win::detail
