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
//
// The user's file is never lost. A file that cannot be parsed (or is over the limits below) is
// moved aside to the first free name of "registry.reg.bad", "registry.reg.bad.1"
// ... "registry.reg.bad.9" and read as empty. A file that cannot be read, is not a regular file,
// or is damaged while all those names are taken, is left exactly as it is: it reads as empty and
// every save answers false. `StoreStatus` carries the sentence that tells the user.

#include "platform/UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace vidorel {

// A store file larger than this is refused (kept aside like a damaged one), and a save that would
// produce a larger one fails: parsing stays well under a second and memory stays bounded.
constexpr size_t kMaxStoreBytes = 16 * 1024 * 1024;
// The deepest key path accepted, counting every part ("HKEY_CURRENT_USER\A" is two).
constexpr size_t kMaxKeyDepth = 512;
// The most keys a store may hold, counting every level of every path: each costs a few hundred
// bytes in memory whatever the file's size, so a store of a few megabytes could otherwise take
// gigabytes.
constexpr size_t kMaxKeys = 100000;
// How many damaged files are kept aside: ".bad" and ".bad.1" to ".bad.9".
constexpr int kMaxBadCopies = 10;

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

// One key of a `RegistryTree`: its name as first written (the store compares names without
// regard to ASCII case, as the registry does), its values in the order they were first written,
// and its subkeys. Keys are owned by their parent; the tree owns the top level.
class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // The full path, every part as first written ("HKEY_CURRENT_USER\Software\...").
    std::string path() const;
    const std::string& name() const { return name_; }

    // Both take O(1) on average whatever the number of values.
    const RegValue* find(const std::string& name) const;
    void set(std::string name, RegValue v);
    // A deque: a key with hundreds of thousands of values grows without copying them all
    // again each time it doubles.
    using Values = std::deque<std::pair<std::string, RegValue>>;
    const Values& values() const { return values_; }

private:
    friend class RegistryTree;

    // A place in `values_` plus one (0 for a free slot) and the hash of that value's name, so
    // that a probe reads a value only when the hashes agree.
    struct Slot {
        uint32_t place = 0;
        uint32_t hash = 0;
    };
    // The slot of `slots_` that holds `name`, or the free one where it would go.
    size_t probe(std::string_view name, uint32_t hash) const;
    void rebuildIndex(size_t slotCount);

    std::string name_;
    RegKey* parent_ = nullptr;
    // By lower-case name, so subkeys enumerate in name order.
    std::map<std::string, std::unique_ptr<RegKey>> children_;
    Values values_;
    // An open-addressing index on `values_`, its size a power of two, at most half full. Empty
    // while the key holds only a few values: a scan of those is cheaper.
    std::vector<Slot> slots_;
};

// The whole file in memory. Paths are full ("HKEY_CURRENT_USER\Software\..."); "/" and doubled
// or trailing "\" are read as one separator.
class RegistryTree {
public:
    RegistryTree() = default;
    RegistryTree(RegistryTree&& other) noexcept;
    RegistryTree& operator=(RegistryTree&&) noexcept;

    // Parses REGEDIT4 text in time linear in its size; returns false (and leaves the tree
    // empty) when the text is not a well-formed store, is larger than kMaxStoreBytes, names a
    // key deeper than kMaxKeyDepth or holds more than kMaxKeys. `why` then gets a short English
    // reason ("line 7 holds a value that cannot be read"). Empty text is a valid, empty store.
    bool parse(std::string_view text, std::string* why = nullptr);
    // Writes every key that holds values or has no subkeys; a key that only leads to others
    // comes back from its subkeys' paths, so the text stays as long as what it holds.
    std::string serialize() const;

    RegKey* findKey(std::string_view path);
    const RegKey* findKey(std::string_view path) const;
    // Finds or creates the key and every missing parent, in time linear in the path's length;
    // nullptr when the path is empty, deeper than kMaxKeyDepth, starts with "-" (which the
    // file would read back as a deletion), or would take the tree over kMaxKeys.
    RegKey* createKey(std::string_view path);
    // Whether `createKey` accepts the path itself, whatever the number of keys.
    static bool acceptablePath(std::string_view path);
    void deleteTree(std::string_view path);
    // Names of the direct subkeys, in name order.
    std::vector<std::string> subKeys(std::string_view path) const;
    bool empty() const;
    // Every key, the parents that are not written included.
    size_t keyCount() const { return keyCount_; }

private:
    static void writeKey(const RegKey& key, std::string& path, std::string& out);
    // The key and every key below it.
    static size_t countKeys(const RegKey& key);

    // Holds the top-level keys as its children; has no name, is never written nor counted.
    RegKey root_;
    size_t keyCount_ = 0;
};

// What reading or saving the store met.
struct StoreStatus {
    // One English sentence for the user naming the file and the cause, e.g. "The preferences
    // file /home/ann/.config/vidorel/registry.reg cannot be read (Permission denied); the
    // program runs with default settings and will not save them." Empty when all went well.
    std::string problem;
    // False when the file must be left as it is: it cannot be read, is not a regular file, is
    // damaged and cannot be kept aside, or there is no private folder for it.
    bool mayWrite = true;
};

class RegistryFile {
public:
    // An empty path is a store with no place: it reads as empty and never saves.
    explicit RegistryFile(std::filesystem::path file);

    // $XDG_CONFIG_HOME/vidorel/registry.reg, or ~/.config/vidorel/registry.reg when
    // XDG_CONFIG_HOME is unset or relative. Empty when neither names an absolute folder: a
    // shared folder such as /tmp would let other users read and plant the file.
    static std::filesystem::path DefaultPath();

    const std::filesystem::path& path() const { return file_; }

    // Reads the file. Missing or empty: an empty tree. Damaged or over the limits: moved aside
    // to the first free ".bad" name (under the lock) and an empty tree. Anything else that
    // stops the read: an empty tree, the file untouched and `status->mayWrite` false.
    RegistryTree read(StoreStatus* status = nullptr) const;

    // Runs `apply` on a fresh read of the file while holding the lock, then writes the result
    // atomically. Returns false when the file must be left alone or cannot be written, or when
    // `apply` answers false; the old file is then untouched and `status->problem` says why
    // (except after `apply`'s refusal, which its caller explains). `apply` must not read the
    // store: the lock is held.
    template <typename F> bool update(F&& apply, StoreStatus* status = nullptr) const {
        StoreStatus local;
        StoreStatus& st = status != nullptr ? *status : local;
        st = StoreStatus();
        Lock lock(*this);
        if (!lock.ok()) {
            st.problem = lock.problem();
            return false;
        }
        RegistryTree tree = load(true, st);
        if (!st.mayWrite) {
            return false;
        }
        if constexpr (std::is_same_v<decltype(apply(tree)), bool>) {
            if (!apply(tree)) {
                return false;
            }
        } else {
            apply(tree);
        }
        return writeAtomically(tree, st);
    }

    // Test hooks. The first makes a save stop right after writing the temporary file, as a
    // crash before the rename would. The second makes every open of a store file for reading
    // fail with `error` (0 turns it off): root, who reads any file, can then see the handling
    // of an unreadable store.
    static void SimulateCrashBeforeRename(bool on);
    static void SimulateOpenFailure(int error);

private:
    class Lock {
    public:
        explicit Lock(const RegistryFile& f);
        ~Lock() = default;
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
        bool ok() const { return fd_.valid(); }
        // Why the lock could not be taken, as the end of a sentence ("its lock file ... is a
        // symbolic link"), and the whole sentence for a failed save.
        const std::string& reason() const { return reason_; }
        std::string problem() const;

    private:
        UniqueFd fd_;
        std::string reason_;
        std::string file_;
    };

    // Reads and parses the file; a damaged one is moved aside, taking the lock first unless
    // `locked` says the caller holds it.
    RegistryTree load(bool locked, StoreStatus& st) const;
    bool writeAtomically(const RegistryTree& tree, StoreStatus& st) const;

    std::filesystem::path file_;
};

// A registry-like handle positioned on one key below HKEY_CURRENT_USER, as the preference
// machinery uses it. Reads come from the snapshot taken at construction; writes go to the
// snapshot and are recorded, and reach the file only through `Commit`.
class TRegistry {
public:
    explicit TRegistry(RegistryFile file = RegistryFile(RegistryFile::DefaultPath()));

    // Key paths are relative to HKEY_CURRENT_USER; a leading "\" is allowed. Creating a key
    // deeper than the store accepts, or past its number of keys, fails.
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

    // Writes the recorded changes to the file; false when the file could not be written, and
    // always when the snapshot's read found a file to leave alone (the snapshot then did not
    // show what the file holds).
    bool Commit();
    bool HasChanges() const { return !ops_.empty(); }

    // What the snapshot's read met, then the problem a later `Commit` met (why it failed, or
    // the damaged file it kept aside before saving). `mayWrite` stays false once the
    // snapshot's read found a file to leave alone.
    const StoreStatus& Status() const { return status_; }

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
    // False when the tree cannot take the change (it would hold more than kMaxKeys).
    bool apply(RegistryTree& tree, const Op& op) const;
    bool record(Op op);

    RegistryFile file_;
    StoreStatus status_;
    RegistryTree tree_;
    std::string current_; // full path of the open key, empty when none
    std::vector<Op> ops_;
};

} // namespace vidorel
