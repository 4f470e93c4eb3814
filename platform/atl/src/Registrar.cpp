#include <atlregistrar.h>

#include <cctype>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace atl {
namespace {

constexpr DWORD kResourceNameNotFound = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND

// ---- the script as a tree ----

enum class Mark { None, NoRemove, ForceRemove, Delete };

struct Value {
    DWORD type = REG_SZ;
    std::string text;
    DWORD number = 0;
};

struct Node {
    Mark mark = Mark::None;
    bool isValue = false;  // a "val" entry of its parent key
    std::string name;
    std::optional<Value> value;
    std::vector<Node> children;
};

struct Root {
    HKEY key = nullptr;
    std::vector<Node> keys;
};

struct Token {
    enum Kind { Word, Text, Open, Close, Equals, End } kind = End;
    std::string text;
};

class Parser {
public:
    Parser(std::string_view script, std::span<const Replacement> replacements)
        : script_(script), replacements_(replacements) {}

    bool Parse(std::vector<Root>& roots) {
        for (;;) {
            Token t = Next();
            if (t.kind == Token::End) return true;
            if (t.kind != Token::Word) return false;
            Root root;
            root.key = RootKey(t.text);
            if (root.key == nullptr || Next().kind != Token::Open) return false;
            if (!ParseKeys(root.keys, false)) return false;
            roots.push_back(std::move(root));
        }
    }

private:
    static HKEY RootKey(const std::string& word) {
        if (Same(word, "HKCR") || Same(word, "HKEY_CLASSES_ROOT")) return HKEY_CLASSES_ROOT;
        if (Same(word, "HKCU") || Same(word, "HKEY_CURRENT_USER")) return HKEY_CURRENT_USER;
        if (Same(word, "HKLM") || Same(word, "HKEY_LOCAL_MACHINE")) return HKEY_LOCAL_MACHINE;
        return nullptr;
    }

    static bool Same(std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i) {
            if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        }
        return true;
    }

    // Entries up to the closing brace of their block.
    bool ParseKeys(std::vector<Node>& nodes, bool valuesAllowed) {
        for (;;) {
            Token t = Next();
            if (t.kind == Token::Close) return true;
            if (t.kind != Token::Word && t.kind != Token::Text) return false;
            Node node;
            if (t.kind == Token::Word && Same(t.text, "val")) {
                if (!valuesAllowed) return false;
                node.isValue = true;
                t = Next();
                if (t.kind != Token::Word && t.kind != Token::Text) return false;
                node.name = t.text;
                if (Next().kind != Token::Equals) return false;
                Value v;
                if (!ParseValue(v)) return false;
                node.value = v;
                nodes.push_back(std::move(node));
                continue;
            }
            if (t.kind == Token::Word) {
                if (Same(t.text, "NoRemove")) node.mark = Mark::NoRemove;
                else if (Same(t.text, "ForceRemove")) node.mark = Mark::ForceRemove;
                else if (Same(t.text, "Delete")) node.mark = Mark::Delete;
                if (node.mark != Mark::None) {
                    t = Next();
                    if (t.kind != Token::Word && t.kind != Token::Text) return false;
                }
            }
            node.name = t.text;
            if (node.name.empty()) return false;
            Token after = Peek();
            if (after.kind == Token::Equals) {
                Next();
                Value v;
                if (!ParseValue(v)) return false;
                node.value = v;
                after = Peek();
            }
            if (after.kind == Token::Open) {
                Next();
                if (!ParseKeys(node.children, true)) return false;
            }
            nodes.push_back(std::move(node));
        }
    }

    bool ParseValue(Value& v) {
        Token type = Next();
        Token text = Next();
        if (type.kind != Token::Word || text.kind != Token::Text) return false;
        if (Same(type.text, "s")) {
            v.type = REG_SZ;
            v.text = text.text;
            return true;
        }
        if (Same(type.text, "d")) {
            char* end = nullptr;
            const unsigned long n = std::strtoul(text.text.c_str(), &end, 0);
            if (text.text.empty() || *end != '\0') return false;
            v.type = REG_DWORD;
            v.number = static_cast<DWORD>(n);
            return true;
        }
        return false;
    }

    Token Peek() {
        const size_t at = at_;
        Token t = Next();
        at_ = at;
        return t;
    }

    Token Next() {
        while (at_ < script_.size() && std::isspace(static_cast<unsigned char>(script_[at_]))) ++at_;
        if (at_ >= script_.size()) return {Token::End, ""};
        const char c = script_[at_];
        // A brace followed by a name (a class id in braces) is a name.
        if (c == '{' && (at_ + 1 >= script_.size() || std::isspace(static_cast<unsigned char>(script_[at_ + 1])))) {
            ++at_;
            return {Token::Open, "{"};
        }
        if (c == '}') {
            ++at_;
            return {Token::Close, "}"};
        }
        if (c == '=') {
            ++at_;
            return {Token::Equals, "="};
        }
        if (c == '\'') {
            std::string text;
            ++at_;
            for (;;) {
                if (at_ >= script_.size()) return {Token::End, ""};  // unterminated: the parse fails
                if (script_[at_] == '\'') {
                    if (at_ + 1 < script_.size() && script_[at_ + 1] == '\'') {
                        text += '\'';
                        at_ += 2;
                        continue;
                    }
                    ++at_;
                    break;
                }
                text += script_[at_++];
            }
            return {Token::Text, Replace(text)};
        }
        const size_t start = at_;
        while (at_ < script_.size() && !std::isspace(static_cast<unsigned char>(script_[at_])) && script_[at_] != '=' &&
               script_[at_] != '\'' && !(script_[at_] == '}' && at_ > start && script_[start] != '{'))
            ++at_;
        return {Token::Word, Replace(std::string(script_.substr(start, at_ - start)))};
    }

    std::string Replace(const std::string& text) const {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '%') {
                const size_t end = text.find('%', i + 1);
                if (end != std::string::npos) {
                    const std::string name = text.substr(i + 1, end - i - 1);
                    bool replaced = false;
                    for (const auto& r : replacements_) {
                        if (Same(r.name, name)) {
                            out += r.value;
                            replaced = true;
                            break;
                        }
                    }
                    if (replaced) {
                        i = end;
                        continue;
                    }
                }
            }
            out += text[i];
        }
        return out;
    }

    std::string_view script_;
    std::span<const Replacement> replacements_;
    size_t at_ = 0;
};

// ---- the registry ----

class Key {
public:
    Key() = default;
    explicit Key(HKEY key) : key_(key) {}
    ~Key() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY* Out() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

LSTATUS DeleteTree(HKEY parent, const std::string& name) {
    {
        Key key;
        LSTATUS status = RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, key.Out());
        if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
        if (status != ERROR_SUCCESS) return status;
        std::vector<std::string> subkeys;
        for (DWORD i = 0;; ++i) {
            char sub[256];
            DWORD size = sizeof sub;
            status = RegEnumKeyExA(key.Get(), i, sub, &size, nullptr, nullptr, nullptr, nullptr);
            if (status != ERROR_SUCCESS) break;
            subkeys.emplace_back(sub, size);
        }
        for (const auto& sub : subkeys) {
            status = DeleteTree(key.Get(), sub);
            if (status != ERROR_SUCCESS) return status;
        }
    }
    const LSTATUS status = RegDeleteKeyA(parent, name.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

LSTATUS SetValue(HKEY key, const std::string& name, const Value& v) {
    if (v.type == REG_DWORD)
        return RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v.number),
                              sizeof v.number);
    return RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(v.text.c_str()),
                          static_cast<DWORD>(v.text.size() + 1));
}

LSTATUS Enter(HKEY parent, const Node& node) {
    if (node.isValue) return SetValue(parent, node.name, *node.value);
    if (node.mark == Mark::Delete) return DeleteTree(parent, node.name);
    if (node.mark == Mark::ForceRemove) {
        const LSTATUS status = DeleteTree(parent, node.name);
        if (status != ERROR_SUCCESS) return status;
    }
    Key key;
    LSTATUS status =
        RegCreateKeyExA(parent, node.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Out(), nullptr);
    if (status != ERROR_SUCCESS) return status;
    if (node.value) {
        status = SetValue(key.Get(), "", *node.value);
        if (status != ERROR_SUCCESS) return status;
    }
    for (const Node& child : node.children) {
        status = Enter(key.Get(), child);
        if (status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
}

LSTATUS Remove(HKEY parent, const Node& node) {
    if (node.isValue) {
        const LSTATUS status = RegDeleteValueA(parent, node.name.c_str());
        return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
    }
    if (node.mark == Mark::Delete) return ERROR_SUCCESS;
    if (node.mark != Mark::NoRemove) return DeleteTree(parent, node.name);
    Key key;
    LSTATUS status = RegOpenKeyExA(parent, node.name.c_str(), 0, KEY_ALL_ACCESS, key.Out());
    if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    for (const Node& child : node.children) {
        status = Remove(key.Get(), child);
        if (status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
}

std::string ModulePath(HMODULE module) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    return std::string(path, length < sizeof path ? length : 0);
}

}  // namespace

HRESULT UpdateRegistryFromScript(std::string_view script, std::span<const Replacement> replacements,
                                 bool doRegister) {
    std::vector<Root> roots;
    if (!Parser(script, replacements).Parse(roots)) return E_INVALIDARG;
    for (const Root& root : roots) {
        for (const Node& node : root.keys) {
            const LSTATUS status = doRegister ? Enter(root.key, node) : Remove(root.key, node);
            if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
        }
    }
    return S_OK;
}

HRESULT UpdateRegistryFromResource(HMODULE module, UINT id, bool doRegister) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), "REGISTRY");
    if (found == nullptr) return HRESULT_FROM_WIN32(kResourceNameNotFound);
    const void* data = LockResource(LoadResource(module, found));
    const DWORD size = SizeofResource(module, found);
    if (data == nullptr) return E_FAIL;
    const Replacement replacements[] = {{"MODULE", ModulePath(module)}};
    return UpdateRegistryFromScript(std::string_view(static_cast<const char*>(data), size), replacements,
                                    doRegister);
}

HRESULT RegisterTypeLibrary(HMODULE module, bool doRegister) {
    const std::string line = std::string("platform: type library of ") + ModulePath(module) +
                             (doRegister ? " registered" : " unregistered") + " (recorded, not interpreted)";
    OutputDebugStringA(line.c_str());
    return S_OK;
}

}  // namespace atl
