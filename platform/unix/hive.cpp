#include "hive.h"
#include "unicode.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <optional>

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

std::string_view KeyName(const std::unique_ptr<Key> &key)
{
    return key->name;
}

std::string_view ValueName(const Value &value)
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
        size_t after = 0;
        Key *found = KeyOfLine(line, after);
        if (!found)
            return false;
        Key &key = *found;
        if (const auto seconds = Seconds(text_.substr(after, line.end - after)))
            key.modified = TicksFromUnixSeconds(*seconds);
        // A key met twice merges; its block is written anew.
        const bool seenBefore = key.blockUnchanged || !key.values.empty() || key.className || key.isLink;
        current_ = &key;
        current_->blockUnchanged = !seenBefore;
        current_->block = MakeSpan(line.begin, line.end);
        blockEnd_ = line.end;
        if (current_->values.capacity() == 0) {
            // The block's values gather in the reader's vector, whose room is reused from block
            // to block; the key gets an exactly sized copy when the block ends.
            current_->values.swap(gathered_);
            gathering_ = true;
        }
        return true;
    }

    // The number after a key line's ']'; most files have plain digits there.
    static std::optional<unsigned long long> Seconds(std::string_view rest)
    {
        const size_t digits = rest.find_first_not_of(" \t");
        unsigned long long seconds = 0;
        if (digits != std::string_view::npos && rest[digits] >= '0' && rest[digits] <= '9') {
            const auto [end, error] = std::from_chars(rest.data() + digits, rest.data() + rest.size(), seconds);
            if (error == std::errc())
                return seconds;
        }
        if (std::sscanf(std::string(rest).c_str(), " %llu", &seconds) == 1)
            return seconds;
        return std::nullopt;
    }

    // The key a key line names, found or made along its path; null when the ']' is missing.
    // Names are separated by an escaped backslash. A name without other escapes and without
    // bytes above ASCII is its own text and is not copied; the others are unescaped.
    Key *KeyOfLine(const regtext::Line &line, size_t &after)
    {
        Key *key = &hive_.Root();
        depth_ = 0;
        size_t start = line.content + 1;
        bool plain = true;
        for (size_t i = start; i < line.end; ++i) {
            const char c = text_[i];
            if (c == ']') {
                key = Component(*key, text_.substr(start, i - start), plain);
                after = i + 1;
                lastPath_.resize(depth_);
                return key;
            }
            if (c == '\\' && i + 1 < line.end && text_[i + 1] == '\\') {
                key = Component(*key, text_.substr(start, i - start), plain);
                start = ++i + 1;
                plain = true;
            } else if (c == '\\') {
                plain = false;
                ++i; // the escaped character, which ends nothing
            } else if (static_cast<unsigned char>(c) >= 0x80) {
                plain = false;
            }
        }
        return nullptr;
    }

    Key *Component(Key &key, std::string_view text, bool plain)
    {
        if (plain)
            return text.empty() ? &key : &ChildOf(key, text, true);
        std::string escaped(text);
        escaped.push_back(']');
        std::u16string units;
        size_t pos = 0;
        regtext::Unescape(escaped, pos, ']', units);
        // An escape may stand for a backslash, which separates names like the escaped one.
        const std::string path = Utf16ToUtf8(units);
        Key *at = &key;
        for (size_t begin = 0; begin <= path.size();) {
            const size_t sep = std::min(path.find('\\', begin), path.size());
            if (sep > begin)
                at = &ChildOf(*at, std::string_view(path).substr(begin, sep - begin), false);
            begin = sep + 1;
        }
        return at;
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
        std::string_view name;
        std::string unescaped;
        size_t end = line.end;
        if (!regtext::ReadValueLine(text_, line, reader_, name, unescaped, end)) {
            OtherLine(line);
            return;
        }
        blockEnd_ = end;
        std::vector<Value> &values = current_->values;
        // Files list values in order: while they are, only a name that does not sort after the
        // last one may have been met before.
        if (!values.empty() && (!current_->valuesSorted || CompareNames(values.back().name, name) >= 0)) {
            if (Value *existing = Hive::FindValue(*current_, name)) {
                // A repeated value keeps the first spelling and the last data.
                existing->text = MakeSpan(line.begin, end);
                existing->data = std::make_unique<ValueData>(hive_.Read(*existing));
                current_->blockUnchanged = false;
                return;
            }
            current_->valuesSorted = false;
        }
        const bool ownText = name.data() == unescaped.data();
        values.push_back(Value{ownText ? Name(name) : Name::Viewing(name), MakeSpan(line.begin, end), nullptr});
    }

    // Comments and anything the format does not define stay with their key.
    void OtherLine(const regtext::Line &line)
    {
        blockEnd_ = line.end;
        if (!current_->otherLines)
            current_->otherLines = std::make_unique<std::vector<Span>>();
        current_->otherLines->push_back(MakeSpan(line.begin, line.end));
    }

    void CloseBlock()
    {
        if (!current_)
            return;
        if (current_->blockUnchanged)
            current_->block = MakeSpan(current_->block.offset, blockEnd_);
        if (std::exchange(gathering_, false)) {
            gathered_.swap(current_->values);
            current_->values.reserve(gathered_.size());
            std::move(gathered_.begin(), gathered_.end(), std::back_inserter(current_->values));
            gathered_.clear();
        }
    }

    // The child of `key` at the next depth of the path, made where missing. Files list keys
    // depth-first, so the previous key's ancestors are the likely ones. A name that `viewable`
    // is part of the file's text, which the hive keeps.
    Key &ChildOf(Key &key, std::string_view name, bool viewable)
    {
        const size_t depth = depth_++;
        Key *child = FoundChild(key, depth, name);
        if (!child) {
            auto fresh = std::make_unique<Key>();
            fresh->name = viewable ? Name::Viewing(name) : Name(name);
            fresh->parent = &key;
            if (!key.children.empty() && CompareNames(key.children.back()->name, name) > 0)
                key.childrenSorted = false;
            key.children.push_back(std::move(fresh));
            child = key.children.back().get();
        }
        lastPath_.resize(depth);
        lastPath_.push_back(child);
        return *child;
    }

    Key *FoundChild(const Key &key, size_t depth, std::string_view name) const
    {
        if (depth < lastPath_.size() && lastPath_[depth]->parent == &key && SameName(lastPath_[depth]->name, name))
            return lastPath_[depth];
        if (!key.children.empty() && SameName(key.children.back()->name, name))
            return key.children.back().get();
        return Hive::FindChild(key, name);
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
    size_t depth_ = 0;            // of the next name on the key line being read
    std::vector<Value> gathered_; // the current block's values, while `gathering_`
    bool gathering_ = false;
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
    if (key.otherLines) {
        for (const Span &line : *key.otherLines) {
            out += Text(line);
            out.push_back('\n');
        }
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
    fresh->name = name;
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
        key.values.insert(key.values.begin() + static_cast<std::ptrdiff_t>(at), Value{Name(name), {}, nullptr});
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
