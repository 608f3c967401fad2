#pragma once

// The per-user typed store that stands in for the current user's registry hive: one text file in
// REGEDIT4 syntax that a user can read and edit by hand.
//
//     REGEDIT4
//
//     [HKEY_CURRENT_USER\Software\Marlott\Vidorel]
//     "Volume"=dword:00001388
//     "Video Racine"="Video"
//     "Framerate"=hex:00,00,00,00,00,00,32,40
//
// Readers work on a snapshot taken when a `TRegistry` handle is created. Writers record their
// changes and `Commit` replays them on a fresh read of the file under an advisory lock, then
// replaces the file atomically (temp file, fsync, rename): a crash mid-save leaves the old file,
// two running instances never interleave their writes, and keys of other programs survive.
// A file that cannot be parsed is renamed to "registry.reg.bad" and read as empty.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vidorel {

enum class RegType : uint32_t { String = 1, ExpandString = 2, Binary = 3, DWord = 4 };

struct RegValue {
    uint32_t type = static_cast<uint32_t>(RegType::String);
    // Text for the string types (UTF-8, no terminator); little-endian bytes for DWORD; raw
    // bytes for binary and any other hex(N) type.
    std::string data;

    static RegValue dword(uint32_t v);
    static RegValue string(const std::string& s);
    static RegValue binary(const std::vector<uint8_t>& bytes);
};

// One key: its path as first written (the store compares paths without regard to ASCII case,
// as the registry does) and its values in the order they were written.
struct RegKey {
    std::string path;
    std::vector<std::pair<std::string, RegValue>> values;

    const RegValue* find(const std::string& name) const;
    void set(const std::string& name, const RegValue& v);
};

// The whole file in memory. Paths are full ("HKEY_CURRENT_USER\Software\...").
class RegistryTree {
public:
    // Parses REGEDIT4 text; returns false (and leaves the tree empty) when the text is not a
    // well-formed store. Empty text is a valid, empty store.
    bool parse(const std::string& text);
    std::string serialize() const;

    RegKey* findKey(const std::string& path);
    const RegKey* findKey(const std::string& path) const;
    // Creates the key and every missing parent.
    RegKey& createKey(const std::string& path);
    void deleteTree(const std::string& path);
    // Names of the direct subkeys, in path order.
    std::vector<std::string> subKeys(const std::string& path) const;
    bool empty() const { return keys_.empty(); }

private:
    std::map<std::string, RegKey> keys_; // by lower-case path
};

class RegistryFile {
public:
    explicit RegistryFile(std::filesystem::path file);

    // $XDG_CONFIG_HOME/vidorel/registry.reg (~/.config when XDG_CONFIG_HOME is unset).
    static std::filesystem::path DefaultPath();

    const std::filesystem::path& path() const { return file_; }

    // Reads the file. Missing, unreadable or empty: an empty tree. Damaged: the file is moved
    // aside to "<name>.bad" and the tree is empty.
    RegistryTree read() const;

    // Runs `apply` on a fresh read of the file while holding the lock, then writes the result
    // atomically. Returns false when the folder or the file cannot be written (the old file is
    // then untouched).
    template <typename F> bool update(F&& apply) const {
        Lock lock(*this);
        if (!lock.ok()) {
            return false;
        }
        RegistryTree tree = read();
        apply(tree);
        return writeAtomically(tree);
    }

    // Test hook: when set, a save stops right after writing the temporary file, as a crash
    // before the rename would.
    static void SimulateCrashBeforeRename(bool on);

private:
    class Lock {
    public:
        explicit Lock(const RegistryFile& f);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
        bool ok() const { return fd_ >= 0; }

    private:
        int fd_ = -1;
    };

    bool writeAtomically(const RegistryTree& tree) const;

    std::filesystem::path file_;
};

// A registry-like handle positioned on one key below HKEY_CURRENT_USER, as the preference
// machinery uses it. Reads come from the snapshot taken at construction; writes go to the
// snapshot and are recorded, and reach the file only through `Commit`.
class TRegistry {
public:
    explicit TRegistry(RegistryFile file = RegistryFile(RegistryFile::DefaultPath()));

    // Key paths are relative to HKEY_CURRENT_USER; a leading "\" is allowed.
    bool OpenKey(const std::string& path, bool canCreate);
    bool KeyExists(const std::string& path) const;
    void CloseKey();
    bool HasSubKeys() const;
    std::vector<std::string> GetKeyNames() const;
    // Deletes the key (relative to HKEY_CURRENT_USER) with everything below it.
    bool DeleteKey(const std::string& path);

    std::optional<uint32_t> ReadDWord(const std::string& name) const;
    // REG_SZ or REG_EXPAND_SZ, verbatim.
    std::optional<std::string> ReadString(const std::string& name) const;
    std::optional<std::string> ReadBinary(const std::string& name) const;
    bool ValueExists(const std::string& name) const;

    bool WriteDWord(const std::string& name, uint32_t v);
    bool WriteString(const std::string& name, const std::string& v);
    bool WriteBinary(const std::string& name, const std::string& bytes);

    // Writes the recorded changes to the file; false when the file could not be written.
    bool Commit();
    bool HasChanges() const { return !ops_.empty(); }

    const std::string& CurrentPath() const { return current_; }

private:
    struct Op {
        enum Kind { CreateKey, SetValue, DeleteTree } kind;
        std::string path;
        std::string name;
        RegValue value;
    };
    static std::string full(const std::string& relative);
    const RegKey* currentKey() const;
    void apply(RegistryTree& tree, const Op& op) const;
    bool record(Op op);

    RegistryFile file_;
    RegistryTree tree_;
    std::string current_; // full path of the open key, empty when none
    std::vector<Op> ops_;
};

} // namespace vidorel
