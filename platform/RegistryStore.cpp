#include "platform/RegistryStore.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <unistd.h>

namespace vidorel {

namespace {

constexpr const char* kHeader = "REGEDIT4";
constexpr const char* kRoot = "HKEY_CURRENT_USER";

std::atomic<bool> gCrashBeforeRename{false};

std::string lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) {
        return {};
    }
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

// Collapses doubled and trailing separators so "A\\B\" and "A\B" name the same key.
std::string normalizePath(const std::string& p) {
    std::string out;
    for (char c : p) {
        if (c == '/') {
            c = '\\';
        }
        if (c == '\\' && (out.empty() || out.back() == '\\')) {
            continue;
        }
        out.push_back(c);
    }
    while (!out.empty() && out.back() == '\\') {
        out.pop_back();
    }
    return out;
}

// Parses a quoted REGEDIT4 string starting at s[pos] == '"'; returns the end position after the
// closing quote, or npos when the string is not closed.
size_t parseQuoted(const std::string& s, size_t pos, std::string& out) {
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
    return std::string::npos;
}

std::string quote(const std::string& s) {
    std::string out = "\"";
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
    return out;
}

bool parseHexBytes(const std::string& text, std::string& out) {
    out.clear();
    std::string t;
    for (char c : text) {
        if (c != ' ' && c != '\t') {
            t.push_back(c);
        }
    }
    if (t.empty()) {
        return true;
    }
    size_t i = 0;
    while (i < t.size()) {
        const size_t comma = t.find(',', i);
        const std::string byte =
            t.substr(i, comma == std::string::npos ? std::string::npos : comma - i);
        if (byte.empty() || byte.size() > 2) {
            return false;
        }
        char* end = nullptr;
        const long v = std::strtol(byte.c_str(), &end, 16);
        if (*end != '\0') {
            return false;
        }
        out.push_back(static_cast<char>(v));
        if (comma == std::string::npos) {
            break;
        }
        i = comma + 1;
        if (i == t.size()) {
            return false;
        }
    }
    return true;
}

bool parseValue(const std::string& text, RegValue& v) {
    if (!text.empty() && text[0] == '"') {
        std::string s;
        const size_t end = parseQuoted(text, 0, s);
        if (end == std::string::npos || !trim(text.substr(end)).empty()) {
            return false;
        }
        v = RegValue::string(s);
        return true;
    }
    const std::string low = lower(text);
    if (low.rfind("dword:", 0) == 0) {
        const std::string digits = trim(text.substr(6));
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
    if (low.rfind("hex:", 0) == 0) {
        v.type = static_cast<uint32_t>(RegType::Binary);
        return parseHexBytes(text.substr(4), v.data);
    }
    if (low.rfind("hex(", 0) == 0) {
        const size_t close = low.find("):");
        if (close == std::string::npos) {
            return false;
        }
        const std::string typeDigits = low.substr(4, close - 4);
        char* end = nullptr;
        const unsigned long type = std::strtoul(typeDigits.c_str(), &end, 16);
        if (typeDigits.empty() || typeDigits.size() > 8 || *end != '\0') {
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

std::string hexList(const std::string& bytes, size_t firstLineUsed) {
    std::string out;
    size_t col = firstLineUsed;
    char buf[4];
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned char>(bytes[i]));
        out += buf;
        col += 2;
        if (i + 1 < bytes.size()) {
            out += ',';
            ++col;
            if (col > 76) {
                out += "\\\n  ";
                col = 2;
            }
        }
    }
    return out;
}

std::string serializeValue(const RegValue& v, size_t used) {
    char buf[32];
    switch (v.type) {
    case static_cast<uint32_t>(RegType::String):
        return quote(v.data);
    case static_cast<uint32_t>(RegType::DWord):
        if (v.data.size() == 4) {
            uint32_t n = 0;
            for (int i = 3; i >= 0; --i) {
                n = (n << 8) | static_cast<unsigned char>(v.data[i]);
            }
            std::snprintf(buf, sizeof buf, "dword:%08x", n);
            return buf;
        }
        return "hex(4):" + hexList(v.data, used + 7);
    case static_cast<uint32_t>(RegType::Binary):
        return "hex:" + hexList(v.data, used + 4);
    default: {
        std::string data = v.data;
        if (v.type == static_cast<uint32_t>(RegType::ExpandString)) {
            data.push_back('\0');
        }
        std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
        return buf + hexList(data, used + std::string(buf).size());
    }
    }
}

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

const RegValue* RegKey::find(const std::string& name) const {
    const std::string low = lower(name);
    for (const auto& [n, v] : values) {
        if (lower(n) == low) {
            return &v;
        }
    }
    return nullptr;
}

void RegKey::set(const std::string& name, const RegValue& v) {
    const std::string low = lower(name);
    for (auto& [n, old] : values) {
        if (lower(n) == low) {
            old = v;
            return;
        }
    }
    values.emplace_back(name, v);
}

bool RegistryTree::parse(const std::string& text) {
    keys_.clear();
    std::istringstream in(text);
    std::string raw;
    bool sawHeader = false;
    RegKey* current = nullptr;
    std::string pending;
    while (std::getline(in, raw)) {
        std::string line = trim(raw);
        // hex lists may continue on the next line after a trailing backslash
        if (!pending.empty()) {
            line = pending + line;
            pending.clear();
        }
        if (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos) {
            line.pop_back();
            pending = line;
            continue;
        }
        if (line.empty() || line[0] == ';') {
            continue;
        }
        if (!sawHeader) {
            if (line != kHeader) {
                keys_.clear();
                return false;
            }
            sawHeader = true;
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3) {
                keys_.clear();
                return false;
            }
            if (line[1] == '-') {
                // an import-style deletion: nothing to keep
                current = nullptr;
                continue;
            }
            current = &createKey(line.substr(1, line.size() - 2));
            continue;
        }
        if (current == nullptr) {
            keys_.clear();
            return false;
        }
        std::string name;
        size_t afterName;
        if (line[0] == '@') {
            afterName = 1;
        } else if (line[0] == '"') {
            afterName = parseQuoted(line, 0, name);
            if (afterName == std::string::npos) {
                keys_.clear();
                return false;
            }
        } else {
            keys_.clear();
            return false;
        }
        const std::string rest = trim(line.substr(afterName));
        if (rest.empty() || rest[0] != '=') {
            keys_.clear();
            return false;
        }
        const std::string valueText = trim(rest.substr(1));
        if (valueText == "-") {
            continue;
        }
        RegValue v;
        if (!parseValue(valueText, v)) {
            keys_.clear();
            return false;
        }
        current->set(name, v);
    }
    if (!pending.empty()) {
        keys_.clear();
        return false;
    }
    return sawHeader || keys_.empty();
}

std::string RegistryTree::serialize() const {
    std::string out = std::string(kHeader) + "\n\n";
    for (const auto& [low, key] : keys_) {
        out += "[" + key.path + "]\n";
        for (const auto& [name, v] : key.values) {
            const std::string lhs = name.empty() ? std::string("@") : quote(name);
            out += lhs + "=" + serializeValue(v, lhs.size() + 1) + "\n";
        }
        out += "\n";
    }
    return out;
}

RegKey* RegistryTree::findKey(const std::string& path) {
    auto it = keys_.find(lower(normalizePath(path)));
    return it == keys_.end() ? nullptr : &it->second;
}

const RegKey* RegistryTree::findKey(const std::string& path) const {
    auto it = keys_.find(lower(normalizePath(path)));
    return it == keys_.end() ? nullptr : &it->second;
}

RegKey& RegistryTree::createKey(const std::string& path) {
    const std::string norm = normalizePath(path);
    // parents first, so the file lists every level of the hierarchy
    for (size_t pos = norm.find('\\'); pos != std::string::npos; pos = norm.find('\\', pos + 1)) {
        const std::string parent = norm.substr(0, pos);
        auto [it, inserted] = keys_.try_emplace(lower(parent));
        if (inserted) {
            it->second.path = parent;
        }
    }
    auto [it, inserted] = keys_.try_emplace(lower(norm));
    if (inserted) {
        it->second.path = norm;
    }
    return it->second;
}

void RegistryTree::deleteTree(const std::string& path) {
    const std::string low = lower(normalizePath(path));
    const std::string prefix = low + "\\";
    for (auto it = keys_.begin(); it != keys_.end();) {
        if (it->first == low || it->first.rfind(prefix, 0) == 0) {
            it = keys_.erase(it);
        } else {
            ++it;
        }
    }
}

std::vector<std::string> RegistryTree::subKeys(const std::string& path) const {
    const std::string prefix = lower(normalizePath(path)) + "\\";
    std::vector<std::string> out;
    for (const auto& [low, key] : keys_) {
        if (low.rfind(prefix, 0) == 0 && low.find('\\', prefix.size()) == std::string::npos) {
            out.push_back(key.path.substr(prefix.size()));
        }
    }
    return out;
}

RegistryFile::RegistryFile(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path RegistryFile::DefaultPath() {
    std::filesystem::path base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x != nullptr && *x == '/') {
        base = x;
    } else if (const char* h = std::getenv("HOME"); h != nullptr && *h != '\0') {
        base = std::filesystem::path(h) / ".config";
    } else {
        base = std::filesystem::temp_directory_path();
    }
    return base / "vidorel" / "registry.reg";
}

RegistryTree RegistryFile::read() const {
    RegistryTree tree;
    std::ifstream in(file_, std::ios::binary);
    if (!in) {
        return tree;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (!in.good() && !in.eof()) {
        return tree;
    }
    if (!tree.parse(ss.str())) {
        std::error_code ec;
        std::filesystem::path bad = file_;
        bad += ".bad";
        std::filesystem::rename(file_, bad, ec);
        return RegistryTree();
    }
    return tree;
}

void RegistryFile::SimulateCrashBeforeRename(bool on) {
    gCrashBeforeRename = on;
}

RegistryFile::Lock::Lock(const RegistryFile& f) {
    std::error_code ec;
    std::filesystem::create_directories(f.file_.parent_path(), ec);
    std::filesystem::path lockPath = f.file_;
    lockPath += ".lock";
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

RegistryFile::Lock::~Lock() {
    if (fd_ >= 0) {
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
    }
}

bool RegistryFile::writeAtomically(const RegistryTree& tree) const {
    const std::string text = tree.serialize();
    std::filesystem::path tmp = file_;
    tmp += ".tmp." + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ::close(fd);
            ::unlink(tmp.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) {
        ::close(fd);
        ::unlink(tmp.c_str());
        return false;
    }
    ::close(fd);
    if (gCrashBeforeRename) {
        return false;
    }
    if (::rename(tmp.c_str(), file_.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    // make the rename itself durable
    const int dir = ::open(file_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

TRegistry::TRegistry(RegistryFile file) : file_(std::move(file)), tree_(file_.read()) {}

std::string TRegistry::full(const std::string& relative) {
    const std::string norm = normalizePath(relative);
    return norm.empty() ? std::string(kRoot) : std::string(kRoot) + "\\" + norm;
}

bool TRegistry::OpenKey(const std::string& path, bool canCreate) {
    const std::string f = full(path);
    if (tree_.findKey(f) == nullptr) {
        if (!canCreate) {
            return false;
        }
        record({Op::CreateKey, f, {}, {}});
    }
    current_ = tree_.findKey(f)->path;
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
    const std::string f = full(path);
    if (tree_.findKey(f) == nullptr) {
        return false;
    }
    if (!current_.empty() && lower(current_).rfind(lower(f), 0) == 0) {
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

void TRegistry::apply(RegistryTree& tree, const Op& op) const {
    switch (op.kind) {
    case Op::CreateKey:
        tree.createKey(op.path);
        break;
    case Op::SetValue:
        tree.createKey(op.path).set(op.name, op.value);
        break;
    case Op::DeleteTree:
        tree.deleteTree(op.path);
        break;
    }
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
    const bool ok = file_.update([this](RegistryTree& fresh) {
        for (const Op& op : ops_) {
            apply(fresh, op);
        }
    });
    if (ok) {
        ops_.clear();
    }
    return ok;
}

} // namespace vidorel
