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

// Builds a hive's keys from its text, line by line, each kind of line by its own rule.
class HiveReader
{
public:
    HiveReader(Hive &hive, std::string_view text) : hive_(hive), text_(text), reader_(text) {}

    // The first line must be the format's header.
    bool ReadHeader()
    {
        regtext::Line line;
        if (!reader_.Next(line) || text_.substr(line.begin, line.end - line.begin) != kHeader)
            return false;
        preambleEnd_ = line.end;
        return true;
    }

    // Reads every line after the header; false at a key line without its closing ']'.
    bool ReadKeys()
    {
        regtext::Line line;
        while (reader_.Next(line)) {
            const regtext::LineKind kind = regtext::KindOf(text_, line);
            if (kind == regtext::LineKind::Empty)
                continue;
            if (!current_ && kind != regtext::LineKind::Key) {
                preambleEnd_ = line.end;
                continue;
            }
            switch (kind) {
            case regtext::LineKind::Key:
                if (!KeyLine(line))
                    return false;
                break;
            case regtext::LineKind::Option: OptionLine(line); break;
            case regtext::LineKind::Value: ValueLine(line); break;
            default: OtherLine(line); break;
            }
        }
        CloseBlock();
        return true;
    }

    // The text before the first key: the header line, "#arch" and comments.
    size_t PreambleEnd() const { return preambleEnd_; }

private:
    // "[path] seconds": the key, found or made along its path, becomes the current block.
    bool KeyLine(const regtext::Line &line)
    {
        CloseBlock();
        std::string path;
        size_t after = 0;
        if (!regtext::ReadKeyPath(text_, line, path, after))
            return false;
        Key &key = KeyAt(path);
        unsigned long long seconds = 0;
        if (std::sscanf(std::string(text_.substr(after, line.end - after)).c_str(), " %llu", &seconds) == 1)
            key.modified = TicksFromUnixSeconds(seconds);
        // A key met twice merges; its block is written anew.
        const bool seenBefore = key.blockUnchanged || !key.values.empty() || key.className || key.isLink;
        current_ = &key;
        current_->blockUnchanged = !seenBefore;
        current_->block = MakeSpan(line.begin, line.end);
        blockEnd_ = line.end;
        return true;
    }

    // "#time=", "#class=" and "#link" are the key's; other options are kept as read.
    void OptionLine(const regtext::Line &line)
    {
        blockEnd_ = line.end;
        const std::string_view option = text_.substr(line.content, line.end - line.content);
        if (option.starts_with("#time=")) {
            current_->modified = HexNumber(option.substr(6));
        } else if (option.starts_with("#class=\"")) {
            std::u16string units;
            size_t pos = line.content + 8;
            if (regtext::Unescape(text_.substr(0, line.end), pos, '"', units))
                current_->className = std::make_unique<std::string>(Utf16ToUtf8(units));
            else
                OtherLine(line);
        } else if (option == "#link") {
            current_->isLink = true;
        } else {
            OtherLine(line);
        }
    }

    void ValueLine(const regtext::Line &line)
    {
        std::string name;
        size_t end = line.end;
        if (!regtext::ReadValueLine(text_, line, reader_, name, end)) {
            OtherLine(line);
            return;
        }
        blockEnd_ = end;
        if (Value *existing = Hive::FindValue(*current_, name)) {
            // A repeated value keeps the first spelling and the last data.
            existing->text = MakeSpan(line.begin, end);
            existing->data = std::make_unique<ValueData>(hive_.Read(*existing));
            current_->blockUnchanged = false;
            return;
        }
        if (!current_->values.empty() && CompareNames(current_->values.back().name, name) > 0)
            current_->valuesSorted = false;
        current_->values.push_back(Value{std::move(name), MakeSpan(line.begin, end), nullptr});
    }

    // Comments and anything the format does not define stay with their key.
    void OtherLine(const regtext::Line &line)
    {
        blockEnd_ = line.end;
        current_->otherLines.push_back(MakeSpan(line.begin, line.end));
    }

    void CloseBlock()
    {
        if (current_ && current_->blockUnchanged)
            current_->block = MakeSpan(current_->block.offset, blockEnd_);
    }

    // The key of a path, made where missing. Files list keys depth-first, so the previous key's
    // ancestors are the likely parents.
    Key &KeyAt(std::string_view path)
    {
        Key *key = &hive_.Root();
        size_t depth = 0;
        for (size_t start = 0; start <= path.size();) {
            const size_t sep = std::min(path.find('\\', start), path.size());
            const std::string_view component = path.substr(start, sep - start);
            start = sep + 1;
            if (component.empty())
                continue;
            key = &ChildOf(*key, depth, component);
            lastPath_.resize(depth);
            lastPath_.push_back(key);
            ++depth;
        }
        lastPath_.resize(depth);
        return *key;
    }

    Key &ChildOf(Key &key, size_t depth, std::string_view name)
    {
        if (depth < lastPath_.size() && lastPath_[depth]->parent == &key && SameName(lastPath_[depth]->name, name))
            return *lastPath_[depth];
        if (!key.children.empty() && SameName(key.children.back()->name, name))
            return *key.children.back();
        if (Key *found = Hive::FindChild(key, name))
            return *found;
        auto fresh = std::make_unique<Key>();
        fresh->name = std::string(name);
        fresh->parent = &key;
        if (!key.children.empty() && CompareNames(key.children.back()->name, name) > 0)
            key.childrenSorted = false;
        key.children.push_back(std::move(fresh));
        return *key.children.back();
    }

    static std::uint64_t HexNumber(std::string_view digits)
    {
        std::uint64_t number = 0;
        for (const char c : digits) {
            const int d = (c >= '0' && c <= '9')   ? c - '0'
                          : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                          : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                   : -1;
            if (d < 0)
                break;
            number = number * 16 + static_cast<std::uint64_t>(d);
        }
        return number;
    }

    Hive &hive_;
    std::string_view text_;
    regtext::LineReader reader_;
    Key *current_ = nullptr;
    size_t blockEnd_ = 0; // end of the last non-empty line of the current block
    size_t preambleEnd_ = 0;
    std::vector<Key *> lastPath_;
};

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
    HiveReader reader(*this, source_);
    if (!reader.ReadHeader() || !reader.ReadKeys()) {
        source_.clear();
        root_ = std::make_unique<Key>();
        return false;
    }
    preamble_ = MakeSpan(0, reader.PreambleEnd());
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
    return value.data ? *value.data : regtext::ParseValueText(Text(value.text));
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
