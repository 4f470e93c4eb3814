// rescomp: compiles a module's resource description into a C++ source that
// holds the resources in their Windows layouts and registers them with the
// platform when the module loads.
//
//   rescomp DESCRIPTION OUTPUT.cpp
//
// The description, one item per line ('#' starts a comment):
//   string ID "text"
//   dialog ID "caption" WIDTH HEIGHT        dialog units; ends with "end"
//     style WORD...                         popup caption sysmenu modalframe
//                                           setforeground center visible child
//     font POINTS "face"
//     KIND ID "text" X Y W H [FLAG...]      one control
//   end
//   data TYPE ID "file"                     raw bytes of a file, beside the description
//   bitmap ID "file.bmp"                    a bitmap (RT_BITMAP: the file less its header)
//   cursor ID "file.cur"                    a cursor (RT_CURSOR: the file's bytes)
//   version A.B.C.D app|dll                 version information; ends with "end"
//     "Name" "value"                        one string (CompanyName, FileVersion...)
// KIND: text ctext rtext button check autocheck radio autoradio group icon
//       frame etched progress trackbar droplist; FLAG: default hidden disabled tabstop
//       notab group border sunken autoticks vertical noprefix multiline
// Texts are UTF-8 with \n \t \" \\ and \xHH (a Windows-1252 byte).
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Resource {
    std::string typeName;
    uint16_t typeId = 0;
    uint16_t nameId = 0;
    std::vector<uint8_t> bytes;
};

[[noreturn]] void Fail(const std::string& file, int line, const std::string& message) {
    std::cerr << file << ":" << line << ": " << message << "\n";
    std::exit(1);
}

// Tokens of a line: words and quoted strings (kept with a leading '"').
std::vector<std::string> Tokens(const std::string& line, const std::string& file, int number) {
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < line.size()) {
        if (std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
            continue;
        }
        if (line[i] == '#') break;
        if (line[i] == '"') {
            std::string text = "\"";
            ++i;
            while (i < line.size() && line[i] != '"') {
                if (line[i] == '\\' && i + 1 < line.size()) {
                    const char c = line[++i];
                    if (c == 'n') text += '\n';
                    else if (c == 't') text += '\t';
                    else if (c == 'x' && i + 2 < line.size()) {
                        // A Windows-1252 byte, kept as its UTF-8 form of a code point below 0x100
                        const int value = std::stoi(line.substr(i + 1, 2), nullptr, 16);
                        text += static_cast<char>(0xC0 | (value >> 6));
                        text += static_cast<char>(0x80 | (value & 0x3F));
                        i += 2;
                    } else text += c;
                } else {
                    text += line[i];
                }
                ++i;
            }
            if (i >= line.size()) Fail(file, number, "unterminated string");
            ++i;
            tokens.push_back(text);
            continue;
        }
        size_t end = i;
        while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) ++end;
        tokens.push_back(line.substr(i, end - i));
        i = end;
    }
    return tokens;
}

std::u16string Utf16(const std::string& utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        char32_t code = c;
        int extra = 0;
        if (c >= 0xF0) code = c & 0x07, extra = 3;
        else if (c >= 0xE0) code = c & 0x0F, extra = 2;
        else if (c >= 0xC0) code = c & 0x1F, extra = 1;
        ++i;
        for (int k = 0; k < extra && i < utf8.size(); ++k, ++i) code = (code << 6) | (utf8[i] & 0x3F);
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

class Writer {
public:
    void Word(uint16_t value) {
        bytes.push_back(static_cast<uint8_t>(value));
        bytes.push_back(static_cast<uint8_t>(value >> 8));
    }
    void Dword(uint32_t value) {
        Word(static_cast<uint16_t>(value));
        Word(static_cast<uint16_t>(value >> 16));
    }
    void Text(const std::string& utf8) {
        for (char16_t unit : Utf16(utf8)) Word(unit);
        Word(0);
    }
    void Align(size_t n) {
        while (bytes.size() % n) bytes.push_back(0);
    }
    std::vector<uint8_t> bytes;
};

struct Control {
    std::string kind;
    int id = 0;
    std::string text;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::vector<std::string> flags;
};

constexpr uint32_t WS_CHILD = 0x40000000, WS_VISIBLE = 0x10000000, WS_DISABLED = 0x08000000, WS_BORDER = 0x00800000,
                   WS_GROUP = 0x00020000, WS_TABSTOP = 0x00010000, WS_POPUP = 0x80000000, WS_CAPTION = 0x00C00000,
                   WS_SYSMENU = 0x00080000;

void Item(Writer& out, const Control& c, const std::string& file, int line) {
    uint32_t style = WS_CHILD | WS_VISIBLE;
    uint16_t atom = 0;
    std::string className;
    if (c.kind == "text") atom = 0x82, style |= WS_GROUP;
    else if (c.kind == "ctext") atom = 0x82, style |= WS_GROUP | 0x1;
    else if (c.kind == "rtext") atom = 0x82, style |= WS_GROUP | 0x2;
    else if (c.kind == "icon") atom = 0x82, style |= 0x3;
    else if (c.kind == "frame") atom = 0x82, style |= 0x7;
    else if (c.kind == "etched") atom = 0x82, style |= 0x10;
    else if (c.kind == "button") atom = 0x80, style |= WS_TABSTOP;
    else if (c.kind == "check") atom = 0x80, style |= WS_TABSTOP | 0x2;
    else if (c.kind == "autocheck") atom = 0x80, style |= WS_TABSTOP | 0x3;
    else if (c.kind == "radio") atom = 0x80, style |= 0x4;
    else if (c.kind == "autoradio") atom = 0x80, style |= 0x9;
    else if (c.kind == "group") atom = 0x80, style |= 0x7;
    else if (c.kind == "progress") className = "msctls_progress32", style |= WS_BORDER;
    else if (c.kind == "trackbar") className = "msctls_trackbar32", style |= WS_TABSTOP;
    else if (c.kind == "droplist") atom = 0x85, style |= WS_TABSTOP | 0x00200000 | 0x3;  // WS_VSCROLL, CBS_DROPDOWNLIST
    else Fail(file, line, "unknown control kind '" + c.kind + "'");
    for (const std::string& flag : c.flags) {
        if (flag == "default") style |= 0x1;
        else if (flag == "hidden") style &= ~WS_VISIBLE;
        else if (flag == "disabled") style |= WS_DISABLED;
        else if (flag == "tabstop") style |= WS_TABSTOP;
        else if (flag == "notab") style &= ~WS_TABSTOP;
        else if (flag == "group") style |= WS_GROUP;
        else if (flag == "border") style |= WS_BORDER;
        else if (flag == "sunken") style |= 0x1000;
        else if (flag == "autoticks") style |= 0x1;
        else if (flag == "vertical") style |= 0x2;
        else if (flag == "noprefix") style |= 0x80;
        else if (flag == "multiline") style |= 0x2000;
        else Fail(file, line, "unknown control flag '" + flag + "'");
    }
    out.Align(4);
    out.Dword(style);
    out.Dword(0);
    out.Word(static_cast<uint16_t>(c.x));
    out.Word(static_cast<uint16_t>(c.y));
    out.Word(static_cast<uint16_t>(c.cx));
    out.Word(static_cast<uint16_t>(c.cy));
    out.Word(static_cast<uint16_t>(c.id));
    if (atom) {
        out.Word(0xFFFF);
        out.Word(atom);
    } else {
        out.Text(className);
    }
    out.Text(c.text);
    out.Word(0);
}

int Number(const std::string& token, const std::string& file, int line) {
    try {
        size_t used = 0;
        const int value = std::stoi(token, &used, 0);
        if (used != token.size()) throw std::invalid_argument(token);
        return value;
    } catch (const std::exception&) {
        Fail(file, line, "a number was expected, not '" + token + "'");
    }
}

std::string Unquote(const std::string& token, const std::string& file, int line) {
    if (token.empty() || token[0] != '"') Fail(file, line, "a quoted text was expected");
    return token.substr(1);
}

// A node of the version information: length, value length, type, key,
// value, children, each part on a 4-byte boundary.
std::vector<uint8_t> VersionNode(const std::string& key, const std::vector<uint8_t>& value, uint16_t valueLength,
                                 uint16_t type, const std::vector<std::vector<uint8_t>>& children) {
    Writer out;
    out.Word(0);
    out.Word(valueLength);
    out.Word(type);
    out.Text(key);
    out.Align(4);
    out.bytes.insert(out.bytes.end(), value.begin(), value.end());
    for (const auto& child : children) {
        out.Align(4);
        out.bytes.insert(out.bytes.end(), child.begin(), child.end());
    }
    const uint16_t length = static_cast<uint16_t>(out.bytes.size());
    out.bytes[0] = static_cast<uint8_t>(length);
    out.bytes[1] = static_cast<uint8_t>(length >> 8);
    return out.bytes;
}

std::vector<uint8_t> VersionInfo(const std::string& version, bool dll,
                                 const std::vector<std::pair<std::string, std::string>>& strings) {
    uint32_t parts[4] = {0, 0, 0, 0};
    std::sscanf(version.c_str(), "%u.%u.%u.%u", &parts[0], &parts[1], &parts[2], &parts[3]);
    Writer fixed;
    const uint32_t words[13] = {0xFEEF04BD, 0x00010000, (parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3],
                                (parts[0] << 16) | parts[1], (parts[2] << 16) | parts[3], 0x3F, 0, 0x00040004,
                                dll ? 2u : 1u, 0, 0, 0};
    for (uint32_t word : words) fixed.Dword(word);
    std::vector<std::vector<uint8_t>> entries;
    for (const auto& [name, text] : strings) {
        Writer value;
        value.Text(text);
        entries.push_back(VersionNode(name, value.bytes, static_cast<uint16_t>(value.bytes.size() / 2), 1, {}));
    }
    const auto table = VersionNode("040904B0", {}, 0, 1, entries);
    const auto stringInfo = VersionNode("StringFileInfo", {}, 0, 1, {table});
    Writer translation;
    translation.Dword(0x04B00409);
    const auto var = VersionNode("Translation", translation.bytes, 4, 0, {});
    const auto varInfo = VersionNode("VarFileInfo", {}, 0, 1, {var});
    return VersionNode("VS_VERSION_INFO", fixed.bytes, 52, 0, {stringInfo, varInfo});
}

std::string Folder(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: rescomp DESCRIPTION OUTPUT.cpp\n";
        return 2;
    }
    const std::string file = argv[1];
    std::ifstream in(file);
    if (!in) {
        std::cerr << file << ": cannot be read\n";
        return 1;
    }
    std::vector<Resource> resources;
    std::map<uint16_t, std::map<int, std::string>> stringBlocks;
    std::string text;
    int number = 0;
    while (std::getline(in, text)) {
        ++number;
        std::vector<std::string> t = Tokens(text, file, number);
        if (t.empty()) continue;
        if (t[0] == "string" && t.size() == 3) {
            const int id = Number(t[1], file, number);
            stringBlocks[static_cast<uint16_t>(id / 16 + 1)][id % 16] = Unquote(t[2], file, number);
        } else if (t[0] == "data" && t.size() == 4) {
            Resource r;
            if (std::isdigit(static_cast<unsigned char>(t[1][0]))) r.typeId = static_cast<uint16_t>(Number(t[1], file, number));
            else r.typeName = t[1];
            r.nameId = static_cast<uint16_t>(Number(t[2], file, number));
            std::ifstream data(Folder(file) + "/" + Unquote(t[3], file, number), std::ios::binary);
            if (!data) Fail(file, number, "the data file cannot be read");
            r.bytes.assign(std::istreambuf_iterator<char>(data), {});
            resources.push_back(r);
        } else if ((t[0] == "bitmap" || t[0] == "cursor") && t.size() == 3) {
            // A bitmap is kept without its file header; a cursor file as it is.
            Resource r;
            r.typeId = t[0] == "bitmap" ? 2 : 1;
            r.nameId = static_cast<uint16_t>(Number(t[1], file, number));
            std::ifstream data(Folder(file) + "/" + Unquote(t[2], file, number), std::ios::binary);
            if (!data) Fail(file, number, "the " + t[0] + " file cannot be read");
            r.bytes.assign(std::istreambuf_iterator<char>(data), {});
            if (t[0] == "bitmap") {
                if (r.bytes.size() < 14 + 40 || r.bytes[0] != 'B' || r.bytes[1] != 'M')
                    Fail(file, number, "not a bitmap file");
                r.bytes.erase(r.bytes.begin(), r.bytes.begin() + 14);
            }
            resources.push_back(r);
        } else if (t[0] == "version" && t.size() == 3) {
            std::vector<std::pair<std::string, std::string>> strings;
            for (;;) {
                if (!std::getline(in, text)) Fail(file, number, "version without end");
                ++number;
                std::vector<std::string> v = Tokens(text, file, number);
                if (v.empty()) continue;
                if (v[0] == "end") break;
                if (v.size() != 2) Fail(file, number, "a version string needs \"Name\" \"value\"");
                strings.emplace_back(Unquote(v[0], file, number), Unquote(v[1], file, number));
            }
            Resource r;
            r.typeId = 16;
            r.nameId = 1;
            r.bytes = VersionInfo(t[1], t[2] == "dll", strings);
            resources.push_back(r);
        } else if (t[0] == "dialog" && t.size() == 5) {
            const int id = Number(t[1], file, number);
            const std::string caption = Unquote(t[2], file, number);
            const int cx = Number(t[3], file, number), cy = Number(t[4], file, number);
            uint32_t style = 0;
            int points = 0;
            std::string face;
            std::vector<Control> controls;
            std::vector<int> lines;
            for (;;) {
                if (!std::getline(in, text)) Fail(file, number, "dialog without end");
                ++number;
                std::vector<std::string> d = Tokens(text, file, number);
                if (d.empty()) continue;
                if (d[0] == "end") break;
                if (d[0] == "style") {
                    for (size_t i = 1; i < d.size(); ++i) {
                        const std::string& w = d[i];
                        if (w == "popup") style |= WS_POPUP;
                        else if (w == "child") style |= WS_CHILD;
                        else if (w == "caption") style |= WS_CAPTION;
                        else if (w == "sysmenu") style |= WS_SYSMENU;
                        else if (w == "visible") style |= WS_VISIBLE;
                        else if (w == "modalframe") style |= 0x80;
                        else if (w == "setforeground") style |= 0x200;
                        else if (w == "center") style |= 0x800;
                        else Fail(file, number, "unknown dialog style '" + w + "'");
                    }
                } else if (d[0] == "font" && d.size() == 3) {
                    points = Number(d[1], file, number);
                    face = Unquote(d[2], file, number);
                } else if (d.size() >= 7) {
                    Control c;
                    c.kind = d[0];
                    c.id = Number(d[1], file, number);
                    c.text = Unquote(d[2], file, number);
                    c.x = Number(d[3], file, number);
                    c.y = Number(d[4], file, number);
                    c.cx = Number(d[5], file, number);
                    c.cy = Number(d[6], file, number);
                    c.flags.assign(d.begin() + 7, d.end());
                    controls.push_back(c);
                    lines.push_back(number);
                } else {
                    Fail(file, number, "a control needs KIND ID \"text\" X Y W H");
                }
            }
            if (points) style |= 0x40;  // DS_SETFONT
            Writer out;
            out.Dword(style);
            out.Dword(0);
            out.Word(static_cast<uint16_t>(controls.size()));
            out.Word(0);
            out.Word(0);
            out.Word(static_cast<uint16_t>(cx));
            out.Word(static_cast<uint16_t>(cy));
            out.Word(0);  // no menu
            out.Word(0);  // the dialog class
            out.Text(caption);
            if (points) {
                out.Word(static_cast<uint16_t>(points));
                out.Text(face);
            }
            for (size_t i = 0; i < controls.size(); ++i) Item(out, controls[i], file, lines[i]);
            Resource r;
            r.typeId = 5;
            r.nameId = static_cast<uint16_t>(id);
            r.bytes = out.bytes;
            resources.push_back(r);
        } else {
            Fail(file, number, "unknown item '" + t[0] + "'");
        }
    }
    for (auto& [block, strings] : stringBlocks) {
        Writer out;
        for (int i = 0; i < 16; ++i) {
            auto it = strings.find(i);
            const std::u16string units = it == strings.end() ? std::u16string() : Utf16(it->second);
            out.Word(static_cast<uint16_t>(units.size()));
            for (char16_t unit : units) out.Word(unit);
        }
        Resource r;
        r.typeId = 6;
        r.nameId = block;
        r.bytes = out.bytes;
        resources.push_back(r);
    }

    std::ostringstream cpp;
    cpp << "// Generated by rescomp from " << file << "; do not edit.\n";
    cpp << "#include <platform/resources.h>\n\nnamespace {\n\n";
    for (size_t i = 0; i < resources.size(); ++i) {
        cpp << "alignas(4) const unsigned char kResource" << i << "[] = {";
        for (size_t b = 0; b < resources[i].bytes.size(); ++b) {
            if (b % 16 == 0) cpp << "\n    ";
            cpp << static_cast<int>(resources[i].bytes[b]) << ",";
        }
        if (resources[i].bytes.empty()) cpp << "0";
        cpp << "\n};\n";
    }
    cpp << "\nconst PlatformResource kTable[] = {\n";
    for (size_t i = 0; i < resources.size(); ++i) {
        const Resource& r = resources[i];
        cpp << "    {" << (r.typeName.empty() ? "nullptr" : "\"" + r.typeName + "\"") << ", " << r.typeId
            << ", nullptr, " << r.nameId << ", kResource" << i << ", " << r.bytes.size() << "},\n";
    }
    if (resources.empty()) cpp << "    {nullptr, 0, nullptr, 0, nullptr, 0},\n";
    cpp << "};\n\n";
    cpp << "struct Registration {\n"
           "    Registration() { PlatformRegisterResources(kTable, " << resources.size() << "); }\n"
           "    ~Registration() { PlatformUnregisterResources(kTable); }\n"
           "} registration;\n\n}  // namespace\n";
    std::ofstream outFile(argv[2]);
    outFile << cpp.str();
    return outFile ? 0 : 1;
}
