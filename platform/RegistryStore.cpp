#include "platform/RegistryStore.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace vidorel {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr const char* kRoot = "HKEY_CURRENT_USER";
constexpr const char* kSizeLimitText = "the limit of 16 MiB";
static_assert(kMaxStoreBytes == 16 * 1024 * 1024, "kSizeLimitText names the limit");
constexpr const char* kRunsOnDefaults =
    "; the program runs with default settings and will not save them.";
// Below this many values a key scans them; from it on it keeps an index, so that a key with
// thousands of values is read and written in linear time.
constexpr size_t kIndexFrom = 8;
constexpr size_t kFirstIndexSlots = 32;

// Test hooks (see RegistryFile); atomic as saves may run on any thread.
std::atomic<bool> gCrashBeforeRename{false};
std::atomic<int> gOpenFailure{0};

std::string errorText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

char lowerChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = lowerChar(c);
    }
    return out;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (lowerChar(a[i]) != lowerChar(b[i])) {
            return false;
        }
    }
    return true;
}

// FNV-1a over the lower-case bytes, so that names differing only in case meet.
uint32_t hashNoCase(std::string_view s) {
    uint32_t h = 2166136261u;
    for (char c : s) {
        h = (h ^ static_cast<unsigned char>(lowerChar(c))) * 16777619u;
    }
    return h;
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalsNoCase(s.substr(0, prefix.size()), prefix);
}

std::string_view trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string_view::npos) {
        return {};
    }
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// Calls `f` on every part of a key path. "/" separates like "\", and doubled, leading or
// trailing separators make no empty part, so "A\\B\" and "A/B" name the same key as "A\B".
// Stops early when `f` answers false.
template <typename F> void forEachPart(std::string_view path, F&& f) {
    size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && (path[i] == '\\' || path[i] == '/')) {
            ++i;
        }
        size_t j = i;
        while (j < path.size() && path[j] != '\\' && path[j] != '/') {
            ++j;
        }
        if (j > i && !f(path.substr(i, j - i))) {
            return;
        }
        i = j;
    }
}

std::string normalizePath(std::string_view p) {
    std::string out;
    out.reserve(p.size());
    forEachPart(p, [&](std::string_view part) {
        if (!out.empty()) {
            out.push_back('\\');
        }
        out.append(part);
        return true;
    });
    return out;
}

// Parses a quoted REGEDIT4 string starting at s[pos] == '"'; returns the end position after the
// closing quote, or npos when the string is not closed.
size_t parseQuoted(std::string_view s, size_t pos, std::string& out) {
    out.clear();
    for (size_t i = pos + 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\\' && i + 1 < s.size()) {
            // Line breaks inside a text (the excluded-sources list holds one name per line)
            // are written as \r and \n so that every value stays on its own line.
            const char e = s[++i];
            out.push_back(e == 'r' ? '\r' : e == 'n' ? '\n' : e);
        } else if (c == '"') {
            return i + 1;
        } else {
            out.push_back(c);
        }
    }
    return std::string_view::npos;
}

void appendQuoted(std::string& out, std::string_view s) {
    out.push_back('"');
    for (char c : s) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            if (c == '\\' || c == '"') {
                out.push_back('\\');
            }
            out.push_back(c);
        }
    }
    out.push_back('"');
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char l = lowerChar(c);
    return l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
}

// One byte of a hex list: one or two hex digits, or a sign and one digit as strtol reads it.
bool hexByte(const char* t, size_t len, char& out) {
    if (len == 1) {
        const int d = hexDigit(t[0]);
        out = static_cast<char>(d);
        return d >= 0;
    }
    if (len != 2) {
        return false;
    }
    const int lo = hexDigit(t[1]);
    if (lo < 0) {
        return false;
    }
    if (t[0] == '+' || t[0] == '-') {
        out = static_cast<char>(t[0] == '-' ? -lo : lo);
        return true;
    }
    const int hi = hexDigit(t[0]);
    out = static_cast<char>(hi * 16 + lo);
    return hi >= 0;
}

// Spaces and tabs anywhere are ignored; bytes are separated by commas, and a list may be empty
// but may not end with a comma.
bool parseHexBytes(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size() / 3 + 1);
    char token[2];
    size_t len = 0;
    bool any = false;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            continue;
        }
        any = true;
        if (c == ',') {
            char b;
            if (!hexByte(token, len, b)) {
                return false;
            }
            out.push_back(b);
            len = 0;
            continue;
        }
        if (len == 2) {
            return false;
        }
        token[len++] = c;
    }
    if (!any) {
        return true;
    }
    char b;
    if (!hexByte(token, len, b)) {
        return false;
    }
    out.push_back(b);
    return true;
}

bool parseValue(std::string_view text, RegValue& v) {
    if (!text.empty() && text[0] == '"') {
        std::string s;
        const size_t end = parseQuoted(text, 0, s);
        if (end == std::string_view::npos || !trim(text.substr(end)).empty()) {
            return false;
        }
        v = RegValue::string(s);
        return true;
    }
    if (startsWithNoCase(text, "dword:")) {
        const std::string digits(trim(text.substr(6)));
        if (digits.empty() || digits.size() > 8) {
            return false;
        }
        char* end = nullptr;
        const unsigned long n = std::strtoul(digits.c_str(), &end, 16);
        if (*end != '\0') {
            return false;
        }
        v = RegValue::dword(static_cast<uint32_t>(n));
        return true;
    }
    if (startsWithNoCase(text, "hex:")) {
        v.type = static_cast<uint32_t>(RegType::Binary);
        return parseHexBytes(text.substr(4), v.data);
    }
    if (startsWithNoCase(text, "hex(")) {
        const size_t close = text.find("):");
        if (close == std::string_view::npos) {
            return false;
        }
        const std::string typeDigits(text.substr(4, close - 4));
        if (typeDigits.empty() || typeDigits.size() > 8) {
            return false;
        }
        char* end = nullptr;
        const unsigned long type = std::strtoul(typeDigits.c_str(), &end, 16);
        if (*end != '\0') {
            return false;
        }
        v.type = static_cast<uint32_t>(type);
        if (!parseHexBytes(text.substr(close + 2), v.data)) {
            return false;
        }
        // A text type stored as bytes ends with its terminator, which is not part of the text.
        if (v.type == static_cast<uint32_t>(RegType::ExpandString) && !v.data.empty() &&
            v.data.back() == '\0') {
            v.data.pop_back();
        }
        return true;
    }
    return false;
}

void appendHexList(std::string& out, std::string_view bytes, size_t firstLineUsed) {
    static constexpr char kDigits[] = "0123456789abcdef";
    size_t col = firstLineUsed;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0xF]);
        col += 2;
        if (i + 1 < bytes.size()) {
            out.push_back(',');
            ++col;
            if (col > 76) {
                out += "\\\n  ";
                col = 2;
            }
        }
    }
}

void appendValue(std::string& out, const RegValue& v, size_t used) {
    char buf[32];
    switch (v.type) {
    case static_cast<uint32_t>(RegType::String):
        appendQuoted(out, v.data);
        return;
    case static_cast<uint32_t>(RegType::DWord):
        if (v.data.size() == 4) {
            uint32_t n = 0;
            for (int i = 3; i >= 0; --i) {
                n = (n << 8) | static_cast<unsigned char>(v.data[i]);
            }
            std::snprintf(buf, sizeof buf, "dword:%08x", n);
            out += buf;
            return;
        }
        out += "hex(4):";
        appendHexList(out, v.data, used + 7);
        return;
    case static_cast<uint32_t>(RegType::Binary):
        out += "hex:";
        appendHexList(out, v.data, used + 4);
        return;
    default: {
        const int n = std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
        out += buf;
        if (v.type == static_cast<uint32_t>(RegType::ExpandString)) {
            std::string data = v.data;
            data.push_back('\0');
            appendHexList(out, data, used + static_cast<size_t>(n));
        } else {
            appendHexList(out, v.data, used + static_cast<size_t>(n));
        }
        return;
    }
    }
}

// What reading the store's bytes met, before any parsing.
struct RawFile {
    enum Kind { Read, Missing, OpenFailed, NotRegular, TooLarge, ReadFailed } kind = Read;
    int error = 0;
    mode_t mode = 0;
    dev_t dev = 0;
    ino_t ino = 0;
    std::string bytes;
};

RawFile readRaw(const std::filesystem::path& file) {
    RawFile r;
    int fd = -1;
    if (const int injected = gOpenFailure.load()) {
        errno = injected;
    } else {
        // O_NONBLOCK: a named pipe planted in place of the store would make a blocking open
        // wait for a writer for ever.
        fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    }
    UniqueFd f(fd);
    if (!f.valid()) {
        r.error = errno;
        r.kind = r.error == ENOENT ? RawFile::Missing : RawFile::OpenFailed;
        return r;
    }
    struct stat st {};
    if (::fstat(f.get(), &st) != 0) {
        r.error = errno;
        r.kind = RawFile::ReadFailed;
        return r;
    }
    r.mode = st.st_mode;
    r.dev = st.st_dev;
    r.ino = st.st_ino;
    if (!S_ISREG(st.st_mode)) {
        r.kind = RawFile::NotRegular;
        return r;
    }
    if (static_cast<uint64_t>(st.st_size) > kMaxStoreBytes) {
        r.kind = RawFile::TooLarge;
        return r;
    }
    // Regular files ignore the flag on Linux, but some network and FUSE file systems answer
    // EAGAIN with it.
    const int flags = ::fcntl(f.get(), F_GETFL);
    if (flags >= 0) {
        ::fcntl(f.get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    // One byte more than the size is asked for, and the buffer grows up to one byte over the
    // limit, so a file that grew since fstat is still caught.
    std::string data(static_cast<size_t>(st.st_size) + 1, '\0');
    size_t have = 0;
    for (;;) {
        if (have == data.size()) {
            if (data.size() > kMaxStoreBytes) {
                break;
            }
            data.resize(std::min(data.size() * 2, kMaxStoreBytes + 1));
        }
        const ssize_t n = ::read(f.get(), data.data() + have, data.size() - have);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            r.error = errno;
            r.kind = RawFile::ReadFailed;
            return r;
        }
        if (n == 0) {
            break;
        }
        have += static_cast<size_t>(n);
    }
    if (have > kMaxStoreBytes) {
        r.kind = RawFile::TooLarge;
        return r;
    }
    data.resize(have);
    r.bytes = std::move(data);
    return r;
}

const char* fileKind(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISFIFO(mode)) {
        return "a named pipe";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    return "a special file";
}

// Renames without ever replacing an existing name.
int renameNoReplace(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return -1;
    }
    // File systems without the flag: a hard link refuses an existing name just as surely.
    if (::link(from, to) != 0) {
        return -1;
    }
    if (::unlink(from) != 0) {
        const int e = errno;
        ::unlink(to);
        errno = e;
        return -1;
    }
    return 0;
}

std::string badName(const std::filesystem::path& file, int n) {
    return file.string() + (n == 0 ? std::string(".bad") : ".bad." + std::to_string(n));
}

StoreStatus refused(std::string sentenceStart) {
    return {sentenceStart + kRunsOnDefaults, false};
}

// Removes the temporary file of a failed save.
class TempName {
public:
    explicit TempName(std::string name) : name_(std::move(name)) {}
    ~TempName() {
        if (!name_.empty()) {
            ::unlink(name_.c_str());
        }
    }
    TempName(const TempName&) = delete;
    TempName& operator=(const TempName&) = delete;
    void keep() { name_.clear(); }

private:
    std::string name_;
};

} // namespace

RegValue RegValue::dword(uint32_t v) {
    RegValue r;
    r.type = static_cast<uint32_t>(RegType::DWord);
    r.data.resize(4);
    for (int i = 0; i < 4; ++i) {
        r.data[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    return r;
}

RegValue RegValue::string(const std::string& s) {
    RegValue r;
    r.type = static_cast<uint32_t>(RegType::String);
    r.data = s;
    return r;
}

RegValue RegValue::binary(const std::vector<uint8_t>& bytes) {
    RegValue r;
    r.type = static_cast<uint32_t>(RegType::Binary);
    r.data.assign(bytes.begin(), bytes.end());
    return r;
}

std::string RegKey::path() const {
    std::vector<const RegKey*> chain;
    size_t length = 0;
    for (const RegKey* k = this; k->parent_ != nullptr; k = k->parent_) {
        chain.push_back(k);
        length += k->name_.size() + 1;
    }
    std::string out;
    out.reserve(length);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (!out.empty()) {
            out.push_back('\\');
        }
        out += (*it)->name_;
    }
    return out;
}

size_t RegKey::probe(std::string_view name, uint32_t hash) const {
    const size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    while (slots_[i].place != 0 &&
           (slots_[i].hash != hash || !equalsNoCase(values_[slots_[i].place - 1].first, name))) {
        i = (i + 1) & mask;
    }
    return i;
}

void RegKey::rebuildIndex(size_t slotCount) {
    std::vector<Slot> old(slotCount);
    old.swap(slots_);
    const size_t mask = slotCount - 1;
    auto place = [&](const Slot& s) {
        size_t i = s.hash & mask;
        while (slots_[i].place != 0) {
            i = (i + 1) & mask;
        }
        slots_[i] = s;
    };
    // the names are distinct, so each goes to the first free slot of its run
    if (old.empty()) {
        for (size_t j = 0; j < values_.size(); ++j) {
            place({static_cast<uint32_t>(j + 1), hashNoCase(values_[j].first)});
        }
    } else {
        for (const Slot& s : old) {
            if (s.place != 0) {
                place(s);
            }
        }
    }
}

const RegValue* RegKey::find(const std::string& name) const {
    if (!slots_.empty()) {
        const uint32_t at = slots_[probe(name, hashNoCase(name))].place;
        return at == 0 ? nullptr : &values_[at - 1].second;
    }
    for (const auto& [n, v] : values_) {
        if (equalsNoCase(n, name)) {
            return &v;
        }
    }
    return nullptr;
}

void RegKey::set(std::string name, RegValue v) {
    if (!slots_.empty()) {
        const uint32_t hash = hashNoCase(name);
        const size_t i = probe(name, hash);
        if (slots_[i].place != 0) {
            values_[slots_[i].place - 1].second = std::move(v);
            return;
        }
        values_.emplace_back(std::move(name), std::move(v));
        slots_[i] = {static_cast<uint32_t>(values_.size()), hash};
        if (values_.size() * 2 > slots_.size()) {
            rebuildIndex(slots_.size() * 2);
        }
        return;
    }
    for (auto& [n, old] : values_) {
        if (equalsNoCase(n, name)) {
            old = std::move(v);
            return;
        }
    }
    values_.emplace_back(std::move(name), std::move(v));
    if (values_.size() >= kIndexFrom) {
        rebuildIndex(kFirstIndexSlots);
    }
}

RegistryTree::RegistryTree(RegistryTree&& other) noexcept {
    *this = std::move(other);
}

RegistryTree& RegistryTree::operator=(RegistryTree&& other) noexcept {
    if (this != &other) {
        root_.children_ = std::move(other.root_.children_);
        other.root_.children_.clear();
        keyCount_ = std::exchange(other.keyCount_, 0);
        for (auto& [low, key] : root_.children_) {
            key->parent_ = &root_;
        }
    }
    return *this;
}

bool RegistryTree::empty() const {
    return root_.children_.empty();
}

namespace {
// The number of parts of a path, counted no further than one past the deepest accepted.
size_t depthOf(std::string_view path) {
    size_t depth = 0;
    forEachPart(path, [&](std::string_view) { return ++depth <= kMaxKeyDepth; });
    return depth;
}

// "[-A]" in the file deletes A, so a key whose first part starts with "-" could not be read
// back.
bool startsWithDash(std::string_view path) {
    bool dash = false;
    forEachPart(path, [&](std::string_view part) {
        dash = part[0] == '-';
        return false;
    });
    return dash;
}
} // namespace

bool RegistryTree::acceptablePath(std::string_view path) {
    const size_t depth = depthOf(path);
    return depth > 0 && depth <= kMaxKeyDepth && !startsWithDash(path);
}

bool RegistryTree::parse(std::string_view text, std::string* why) {
    root_.children_.clear();
    keyCount_ = 0;
    auto fail = [&](std::string reason) {
        root_.children_.clear();
        keyCount_ = 0;
        if (why != nullptr) {
            *why = std::move(reason);
        }
        return false;
    };
    if (text.size() > kMaxStoreBytes) {
        return fail(std::string("it is larger than ") + kSizeLimitText);
    }
    bool sawHeader = false;
    RegKey* current = nullptr;
    // a line continued over several: only those are copied
    std::string joined;
    bool continuing = false;
    size_t lineNo = 0;
    size_t firstLine = 0;
    std::string name;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t nl = text.find('\n', pos);
        const size_t end = nl == std::string_view::npos ? text.size() : nl;
        const std::string_view piece = trim(text.substr(pos, end - pos));
        pos = end + 1;
        ++lineNo;
        // Hex lists may continue on the next line after a trailing backslash. The search for
        // "=hex" runs on the first line only, so a long continued value costs linear time.
        const bool goesOn = !piece.empty() && piece.back() == '\\' &&
                            (continuing || piece.find("=hex") != std::string_view::npos);
        if (!continuing) {
            firstLine = lineNo;
        }
        if (goesOn) {
            if (!continuing) {
                joined.clear();
            }
            joined.append(piece.substr(0, piece.size() - 1));
            continuing = true;
            continue;
        }
        std::string_view line = piece;
        if (continuing) {
            joined.append(piece);
            line = joined;
            continuing = false;
        }
        const auto at = [&] { return "line " + std::to_string(firstLine); };
        if (line.empty() || line[0] == ';') {
            continue;
        }
        if (!sawHeader) {
            if (line != kHeader) {
                return fail("it does not start with REGEDIT4");
            }
            sawHeader = true;
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3) {
                return fail(at() + " is not a well-formed key");
            }
            if (line[1] == '-') {
                // an import-style deletion: nothing to keep
                current = nullptr;
                continue;
            }
            const std::string_view path = line.substr(1, line.size() - 2);
            current = createKey(path);
            if (current == nullptr) {
                const size_t depth = depthOf(path);
                return fail(
                    at() +
                    (depth == 0 ? " names a key without a name"
                     : depth > kMaxKeyDepth
                         ? " names a key more than " + std::to_string(kMaxKeyDepth) + " levels deep"
                     : startsWithDash(path)
                         ? " names a key that starts with -"
                         : " brings the store over " + std::to_string(kMaxKeys) + " keys"));
            }
            continue;
        }
        if (current == nullptr) {
            return fail(at() + " holds a value outside any key");
        }
        size_t afterName;
        if (line[0] == '@') {
            name.clear();
            afterName = 1;
        } else if (line[0] == '"') {
            afterName = parseQuoted(line, 0, name);
            if (afterName == std::string_view::npos) {
                return fail(at() + " holds a value name that is not closed");
            }
        } else {
            return fail(at() + " is not a key, a value or a comment");
        }
        const std::string_view rest = trim(line.substr(afterName));
        if (rest.empty() || rest[0] != '=') {
            return fail(at() + " is not a key, a value or a comment");
        }
        const std::string_view valueText = trim(rest.substr(1));
        if (valueText == "-") {
            continue;
        }
        RegValue v;
        if (!parseValue(valueText, v)) {
            return fail(at() + " holds a value that cannot be read");
        }
        current->set(name, std::move(v));
    }
    if (continuing) {
        return fail("it ends in the middle of a continued value");
    }
    return true;
}

void RegistryTree::writeKey(const RegKey& key, std::string& path, std::string& out) {
    const size_t mark = path.size();
    if (!path.empty()) {
        path.push_back('\\');
    }
    path += key.name_;
    if (!key.values_.empty() || key.children_.empty()) {
        out += '[';
        out += path;
        out += "]\n";
        for (const auto& [name, v] : key.values_) {
            const size_t lineStart = out.size();
            if (name.empty()) {
                out += '@';
            } else {
                appendQuoted(out, name);
            }
            out += '=';
            appendValue(out, v, out.size() - lineStart);
            out += '\n';
        }
        out += '\n';
    }
    for (const auto& [low, child] : key.children_) {
        writeKey(*child, path, out);
    }
    path.resize(mark);
}

std::string RegistryTree::serialize() const {
    std::string out = std::string(kHeader) + "\n\n";
    std::string path;
    for (const auto& [low, key] : root_.children_) {
        writeKey(*key, path, out);
    }
    return out;
}

RegKey* RegistryTree::findKey(std::string_view path) {
    return const_cast<RegKey*>(std::as_const(*this).findKey(path));
}

const RegKey* RegistryTree::findKey(std::string_view path) const {
    const RegKey* node = &root_;
    forEachPart(path, [&](std::string_view part) {
        const auto it = node->children_.find(lower(part));
        node = it == node->children_.end() ? nullptr : it->second.get();
        return node != nullptr;
    });
    return node == &root_ ? nullptr : node;
}

RegKey* RegistryTree::createKey(std::string_view path) {
    if (!acceptablePath(path)) {
        return nullptr;
    }
    // Walk the existing levels first: the keys still missing must fit under the limit.
    const size_t depth = depthOf(path);
    const RegKey* node = &root_;
    size_t found = 0;
    forEachPart(path, [&](std::string_view part) {
        const auto it = node->children_.find(lower(part));
        if (it == node->children_.end()) {
            return false;
        }
        node = it->second.get();
        ++found;
        return true;
    });
    if (keyCount_ + (depth - found) > kMaxKeys) {
        return nullptr;
    }
    RegKey* at = &root_;
    forEachPart(path, [&](std::string_view part) {
        std::string low = lower(part);
        auto it = at->children_.find(low);
        if (it == at->children_.end()) {
            auto child = std::make_unique<RegKey>();
            child->name_ = std::string(part);
            child->parent_ = at;
            it = at->children_.emplace(std::move(low), std::move(child)).first;
            ++keyCount_;
        }
        at = it->second.get();
        return true;
    });
    return at;
}

size_t RegistryTree::countKeys(const RegKey& key) {
    size_t n = 1;
    for (const auto& [low, child] : key.children_) {
        n += countKeys(*child);
    }
    return n;
}

void RegistryTree::deleteTree(std::string_view path) {
    RegKey* key = findKey(path);
    if (key != nullptr) {
        keyCount_ -= countKeys(*key);
        key->parent_->children_.erase(lower(key->name_));
    }
}

std::vector<std::string> RegistryTree::subKeys(std::string_view path) const {
    std::vector<std::string> out;
    if (const RegKey* key = findKey(path)) {
        out.reserve(key->children_.size());
        for (const auto& [low, child] : key->children_) {
            out.push_back(child->name_);
        }
    }
    return out;
}

RegistryFile::RegistryFile(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path RegistryFile::DefaultPath() {
    std::filesystem::path base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x != nullptr && *x == '/') {
        base = x;
    } else if (const char* h = std::getenv("HOME"); h != nullptr && *h == '/') {
        base = std::filesystem::path(h) / ".config";
    } else {
        return {};
    }
    return base / "vidorel" / "registry.reg";
}

RegistryTree RegistryFile::read(StoreStatus* status) const {
    StoreStatus local;
    return load(false, status != nullptr ? *status : local);
}

RegistryTree RegistryFile::load(bool locked, StoreStatus& st) const {
    st = StoreStatus();
    if (file_.empty()) {
        st = refused("Neither XDG_CONFIG_HOME nor HOME names a private folder for the "
                     "preferences file");
        return {};
    }
    const std::string name = "The preferences file " + file_.string();
    RawFile raw = readRaw(file_);
    RegistryTree tree;
    std::string why;
    switch (raw.kind) {
    case RawFile::Missing:
        return tree;
    case RawFile::OpenFailed:
    case RawFile::ReadFailed:
        st = refused(name + " cannot be read (" + errorText(raw.error) + ")");
        return tree;
    case RawFile::NotRegular:
        st = refused(name + " is not a regular file but " + fileKind(raw.mode));
        return tree;
    case RawFile::TooLarge:
        why = std::string("it is larger than ") + kSizeLimitText;
        break;
    case RawFile::Read:
        if (tree.parse(raw.bytes, &why)) {
            return tree;
        }
        break;
    }
    raw.bytes = std::string();
    const std::string damaged = name + " is damaged (" + why + ") and cannot be kept aside";
    if (!locked) {
        // Moving the file aside must not race another instance's save: under the lock it is
        // read again, and only what is still damaged then is moved.
        Lock lock(*this);
        if (!lock.ok()) {
            st = refused(damaged + ": " + lock.reason());
            return {};
        }
        return load(true, st);
    }
    // Another instance cannot replace the file while the lock is held, but a hand edit can:
    // only the file that was read is moved.
    struct stat now {};
    if (::stat(file_.c_str(), &now) != 0 || now.st_dev != raw.dev || now.st_ino != raw.ino) {
        st = refused(damaged + ": it changed while it was read");
        return {};
    }
    for (int n = 0; n < kMaxBadCopies; ++n) {
        const std::string bad = badName(file_, n);
        if (renameNoReplace(file_.c_str(), bad.c_str()) == 0) {
            st.problem = name + " was damaged (" + why + ") and has been kept as " + bad +
                         "; the program starts with default settings.";
            return {};
        }
        const int error = errno;
        if (error != EEXIST) {
            st = refused(damaged + " (" + errorText(error) + ")");
            return {};
        }
    }
    st = refused(damaged + ": " + badName(file_, 0) + " to " + badName(file_, kMaxBadCopies - 1) +
                 " already exist");
    return {};
}

void RegistryFile::SimulateCrashBeforeRename(bool on) {
    gCrashBeforeRename = on;
}

void RegistryFile::SimulateOpenFailure(int error) {
    gOpenFailure = error;
}

RegistryFile::Lock::Lock(const RegistryFile& f) : file_(f.file_.string()) {
    if (f.file_.empty()) {
        reason_ = "there is no private folder for it";
        return;
    }
    std::error_code ec;
    std::filesystem::create_directories(f.file_.parent_path(), ec);
    const std::string lockName = file_ + ".lock";
    // O_NOFOLLOW: a link planted here would make the program create or open a file elsewhere.
    // O_NONBLOCK: a named pipe planted here would make the open wait for ever.
    UniqueFd fd(::open(lockName.c_str(),
                       O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600));
    if (!fd.valid()) {
        const int error = errno;
        reason_ = error == ELOOP ? "its lock file " + lockName + " is a symbolic link"
                                 : "its lock file " + lockName + " cannot be opened (" +
                                       errorText(error) + ")";
        return;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        reason_ = "its lock file " + lockName + " is not a regular file";
        return;
    }
    while (::flock(fd.get(), LOCK_EX) != 0) {
        const int error = errno;
        if (error != EINTR) {
            reason_ = "its lock file " + lockName + " cannot be locked (" + errorText(error) + ")";
            return;
        }
    }
    fd_ = std::move(fd);
}

std::string RegistryFile::Lock::problem() const {
    return "The preferences file " + file_ + " cannot be saved: " + reason_ + ".";
}

bool RegistryFile::writeAtomically(const RegistryTree& tree, StoreStatus& st) const {
    auto fail = [&](const std::string& reason) {
        const std::string sentence =
            "The preferences file " + file_.string() + " cannot be saved (" + reason + ").";
        st.problem = st.problem.empty() ? sentence : st.problem + " " + sentence;
        return false;
    };
    const std::string text = tree.serialize();
    if (text.size() > kMaxStoreBytes) {
        // it would be refused at the next start
        return fail(std::string("it would be larger than ") + kSizeLimitText);
    }
    // mkostemp creates a fresh name with O_EXCL: nothing planted in the folder, such as a link
    // to another file, can be written through.
    std::string tmp = file_.string() + ".tmp.XXXXXX";
    UniqueFd fd(::mkostemp(tmp.data(), O_CLOEXEC));
    if (!fd.valid()) {
        return fail(errorText(errno));
    }
    TempName guard(tmp);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd.get(), text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(errorText(errno));
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd.get()) != 0 || fd.close() != 0) {
        return fail(errorText(errno));
    }
    if (gCrashBeforeRename) {
        guard.keep();
        return fail("stopped before the rename");
    }
    if (::rename(tmp.c_str(), file_.c_str()) != 0) {
        return fail(errorText(errno));
    }
    guard.keep();
    // make the rename itself durable
    const UniqueFd dir(::open(file_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) {
        ::fsync(dir.get());
    }
    return true;
}

TRegistry::TRegistry(RegistryFile file) : file_(std::move(file)), tree_(file_.read(&status_)) {}

std::string TRegistry::full(const std::string& relative) {
    const std::string norm = normalizePath(relative);
    return norm.empty() ? std::string(kRoot) : std::string(kRoot) + "\\" + norm;
}

bool TRegistry::OpenKey(const std::string& path, bool canCreate) {
    const std::string f = full(path);
    const RegKey* key = tree_.findKey(f);
    if (key == nullptr) {
        if (!canCreate) {
            return false;
        }
        key = tree_.createKey(f);
        if (key == nullptr) {
            return false;
        }
        ops_.push_back({Op::CreateKey, f, {}, {}});
    }
    current_ = key->path();
    return true;
}

bool TRegistry::KeyExists(const std::string& path) const {
    return tree_.findKey(full(path)) != nullptr;
}

void TRegistry::CloseKey() {
    current_.clear();
}

const RegKey* TRegistry::currentKey() const {
    return current_.empty() ? nullptr : tree_.findKey(current_);
}

bool TRegistry::HasSubKeys() const {
    return !current_.empty() && !tree_.subKeys(current_).empty();
}

std::vector<std::string> TRegistry::GetKeyNames() const {
    return current_.empty() ? std::vector<std::string>{} : tree_.subKeys(current_);
}

bool TRegistry::DeleteKey(const std::string& path) {
    const RegKey* key = tree_.findKey(full(path));
    if (key == nullptr) {
        return false;
    }
    const std::string f = key->path();
    // the open key goes when it is the deleted key or below it, not when it merely starts
    // with the same letters
    const std::string cur = lower(current_);
    const std::string gone = lower(f);
    if (cur == gone || (cur.size() > gone.size() && cur.compare(0, gone.size(), gone) == 0 &&
                        cur[gone.size()] == '\\')) {
        current_.clear();
    }
    return record({Op::DeleteTree, f, {}, {}});
}

std::optional<uint32_t> TRegistry::ReadDWord(const std::string& name) const {
    const RegKey* k = currentKey();
    const RegValue* v = k ? k->find(name) : nullptr;
    if (v == nullptr || v->type != static_cast<uint32_t>(RegType::DWord) || v->data.size() != 4) {
        return std::nullopt;
    }
    uint32_t n = 0;
    for (int i = 3; i >= 0; --i) {
        n = (n << 8) | static_cast<unsigned char>(v->data[i]);
    }
    return n;
}

std::optional<std::string> TRegistry::ReadString(const std::string& name) const {
    const RegKey* k = currentKey();
    const RegValue* v = k ? k->find(name) : nullptr;
    if (v == nullptr || (v->type != static_cast<uint32_t>(RegType::String) &&
                         v->type != static_cast<uint32_t>(RegType::ExpandString))) {
        return std::nullopt;
    }
    return v->data;
}

std::optional<std::string> TRegistry::ReadBinary(const std::string& name) const {
    const RegKey* k = currentKey();
    const RegValue* v = k ? k->find(name) : nullptr;
    if (v == nullptr || v->type != static_cast<uint32_t>(RegType::Binary)) {
        return std::nullopt;
    }
    return v->data;
}

bool TRegistry::ValueExists(const std::string& name) const {
    const RegKey* k = currentKey();
    return k != nullptr && k->find(name) != nullptr;
}

bool TRegistry::WriteDWord(const std::string& name, uint32_t v) {
    return !current_.empty() && record({Op::SetValue, current_, name, RegValue::dword(v)});
}

bool TRegistry::WriteString(const std::string& name, const std::string& v) {
    return !current_.empty() && record({Op::SetValue, current_, name, RegValue::string(v)});
}

bool TRegistry::WriteBinary(const std::string& name, const std::string& bytes) {
    RegValue v;
    v.type = static_cast<uint32_t>(RegType::Binary);
    v.data = bytes;
    return !current_.empty() && record({Op::SetValue, current_, name, v});
}

bool TRegistry::apply(RegistryTree& tree, const Op& op) const {
    switch (op.kind) {
    case Op::CreateKey:
        return tree.createKey(op.path) != nullptr;
    case Op::SetValue:
        if (RegKey* key = tree.createKey(op.path)) {
            key->set(op.name, op.value);
            return true;
        }
        return false;
    case Op::DeleteTree:
        tree.deleteTree(op.path);
        return true;
    }
    return false;
}

bool TRegistry::record(Op op) {
    apply(tree_, op);
    ops_.push_back(std::move(op));
    return true;
}

bool TRegistry::Commit() {
    if (ops_.empty()) {
        return true;
    }
    if (!status_.mayWrite) {
        return false;
    }
    StoreStatus st;
    const bool ok = file_.update(
        [this](RegistryTree& fresh) {
            for (const Op& op : ops_) {
                if (!apply(fresh, op)) {
                    return false;
                }
            }
            return true;
        },
        &st);
    if (ok) {
        ops_.clear();
    } else if (st.problem.empty() && st.mayWrite) {
        // the keys other programs wrote meanwhile left no room for these
        st.problem = "The preferences file " + file_.path().string() +
                     " cannot be saved (it would hold more than " + std::to_string(kMaxKeys) +
                     " keys).";
    }
    if (!st.problem.empty()) {
        status_.problem = st.problem;
    }
    return ok;
}

} // namespace vidorel
