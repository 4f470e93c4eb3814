// The registry of the emulated machine: a text file under the root, shared
// by every process. Each operation takes flock on `registry.lock` (shared to
// read, exclusive to change), reloads the file when another process changed
// it, and saves by writing a temporary file and renaming it.
#pragma once

#include <windef.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {

struct Value {
    std::string name;  // as written
    DWORD type = 0;
    std::vector<uint8_t> data;
};

struct Key {
    std::string path;  // full path as created, e.g. "HKEY_LOCAL_MACHINE\SOFTWARE"
    std::map<std::string, Value> values;  // by folded name
    uint64_t writeTime = 0;               // FILETIME ticks
};

// Keys by folded (upper-case) full path; map order is the enumeration order.
class Tree {
public:
    Key* Find(std::string_view path);
    const Key* Find(std::string_view path) const;
    // Creates the key and its missing parents; *created tells whether it was new.
    Key& Create(std::string_view path, bool* created);
    // Removes a key without subkeys.
    void Erase(std::string_view path);
    // Names (as written) of the direct subkeys, in order.
    std::vector<const Key*> Children(std::string_view path) const;
    void Touch(Key& key);

    std::map<std::string, Key> keys;
};

// Upper-case ASCII fold used for key and value names.
std::string Fold(std::string_view text);

// Last element of a key path.
std::string_view LeafName(std::string_view path);

// Runs `reader` on an up-to-date tree under the shared lock.
void Read(const std::function<void(const Tree&)>& reader);
// Runs `writer` under the exclusive lock; saved when it returns true.
// False when the change could not be saved.
bool Write(const std::function<bool(Tree&)>& writer);

// Creates the registry of a fresh root (idempotent); called on first use.
void EnsureInitialized();

// The canonical full path of a root key value (HKEY_CLASSES_ROOT and
// HKEY_CURRENT_USER resolve to their targets); empty for other values.
std::string RootKeyPath(uintptr_t root);

// Key handles: a handle names a path and the access it was opened with.
struct KeyHandle {
    std::string path;
    DWORD access = 0;
};
HKEY OpenHandle(const std::string& path, DWORD access);
// The handle's path and access (roots included); false for unknown handles.
bool LookupHandle(HKEY key, KeyHandle* out);
bool CloseHandle(HKEY key);

}  // namespace platform::registry
