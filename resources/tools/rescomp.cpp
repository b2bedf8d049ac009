// Build-time resource compiler: reads the manifest, writes every resource in its stored form into
// the output folder, and writes an assembler file that links them in with .incbin plus a C++ table
// that names them by type, id and language.
//
// It also writes OUTDIR/embedded.d, a make-style list of every file and folder it read, so the build
// runs it again when any of them changes or a folder gains a file.
//
// usage: xqt-rescomp MANIFEST OUTDIR

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Resources.h"

namespace fs = std::filesystem;

namespace {

struct Entry {
    std::string type;
    unsigned id;
    unsigned lang;
    fs::path blob;
    std::uint64_t digest;  // of the bytes, so a changed resource changes the assembler source too
};

std::uint64_t Fnv1a(const std::string& bytes) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

[[noreturn]] void Fail(const std::string& why) {
    std::cerr << "xqt-rescomp: " << why << "\n";
    std::exit(1);
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail("cannot read " + path.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

/// Every input read so far, for the dependency file.
std::vector<fs::path> g_inputs;

std::string ReadInput(const fs::path& path) {
    g_inputs.push_back(fs::absolute(path));
    return ReadFile(path);
}

void WriteIfChanged(const fs::path& path, const std::string& bytes) {
    if (fs::exists(path) && fs::file_size(path) == bytes.size() && ReadFile(path) == bytes) return;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) Fail("cannot write " + path.string());
}

std::string TextBlob(const fs::path& path, bool withNul) {
    std::string text = ReadInput(path);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    std::string crlf;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    auto bytes = xqt::platform::EncodeBinText(crlf, withNul);
    return std::string(bytes.begin(), bytes.end());
}

std::string EscapedBlob(const fs::path& path) {
    std::string text = ReadInput(path), out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\n' || c == '\r') continue;
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        char e = text[++i];
        if (e == 'r')
            out += '\r';
        else if (e == 'n')
            out += '\n';
        else if (e == '0')
            out += '\0';
        else if (e == '\\')
            out += '\\';
        else
            Fail("unknown escape \\" + std::string(1, e) + " in " + path.string());
    }
    return out;
}

/// The manifest's resources in order, each written to OUTDIR/blobs in its stored form.
class Collector {
  public:
    explicit Collector(fs::path outDir) : outDir_(std::move(outDir)) {
        fs::create_directories(outDir_ / "blobs");
    }

    void Add(const std::string& type, unsigned id, unsigned lang, const std::string& bytes) {
        fs::path blob =
            outDir_ / "blobs" / (type + "_" + std::to_string(id) + "_" + std::to_string(lang) + ".bin");
        WriteIfChanged(blob, bytes);
        entries_.push_back({type, id, lang, blob, Fnv1a(bytes)});
    }

    /// Every numbered file of the folder `source` names ("DIR [ID...]": the ids stored without a
    /// NUL), as texts or as they are.
    void AddFolder(const std::string& type, unsigned lang, const std::string& kind,
                   const std::string& source) {
        std::istringstream rest(source);
        std::string dir;
        rest >> dir;
        std::set<unsigned> noNul;
        for (unsigned id; rest >> id;)
            noNul.insert(id);
        std::vector<fs::path> files;
        g_inputs.push_back(fs::absolute(dir));  // a new file in it changes the folder
        for (const auto& e : fs::directory_iterator(dir))
            if (e.is_regular_file() && !e.path().stem().empty() && std::isdigit(e.path().stem().string()[0]))
                files.push_back(e.path());
        std::sort(files.begin(), files.end());
        for (const auto& p : files) {
            unsigned id = static_cast<unsigned>(std::stoul(p.stem().string()));
            Add(type, id, lang, kind == "texts" ? TextBlob(p, noNul.count(id) == 0) : ReadInput(p));
        }
    }

    /// One manifest line: TYPE ID LANG KIND SOURCE.
    void AddLine(const std::string& line) {
        std::istringstream f(line);
        std::string type, idText, kind, source;
        unsigned lang = 0;
        f >> type >> idText >> lang >> kind;
        std::getline(f >> std::ws, source);
        if (kind == "texts" || kind == "files") return AddFolder(type, lang, kind, source);
        unsigned id = static_cast<unsigned>(std::stoul(idText));
        if (kind == "text")
            Add(type, id, lang, TextBlob(source, true));
        else if (kind == "text-nonul")
            Add(type, id, lang, TextBlob(source, false));
        else if (kind == "escaped")
            Add(type, id, lang, EscapedBlob(source));
        else if (kind == "file")
            Add(type, id, lang, ReadInput(source));
        else if (kind == "inline") {
            if (source.size() < 2 || source.front() != '"' || source.back() != '"')
                Fail("bad inline: " + line);
            Add(type, id, lang, source.substr(1, source.size() - 2));
        } else {
            Fail("unknown kind in: " + line);
        }
    }

    const std::vector<Entry>& Entries() const { return entries_; }

  private:
    fs::path outDir_;
    std::vector<Entry> entries_;
};

std::string EnumName(const std::string& type) {
    std::string name = type == "BIN"       ? "Bin"
                       : type == "STRING"  ? "String"
                       : type == "VERSION" ? "Version"
                       : type == "ICON"    ? "Icon"
                       : type == "BITMAP"  ? "Bitmap"
                                           : "";
    if (name.empty()) Fail("unknown type " + type);
    return name;
}

/// The assembler file that links every blob in with .incbin.
std::string AssemblerSource(const std::vector<Entry>& entries) {
    std::ostringstream out;
    out << "    .section .rodata\n";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        out << "    # " << entries[i].blob.filename().string() << " fnv1a " << std::hex << entries[i].digest
            << std::dec << "\n";
        out << "    .balign 16\n    .global xqt_res_" << i << "_begin\n    .global xqt_res_" << i << "_end\n"
            << "xqt_res_" << i << "_begin:\n    .incbin \"" << entries[i].blob.string() << "\"\n"
            << "xqt_res_" << i << "_end:\n";
    }
    out << "    .section .note.GNU-stack,\"\",@progbits\n";
    return out.str();
}

/// The C++ table that names the linked blobs by type, id and language.
std::string TableSource(const std::vector<Entry>& entries) {
    std::ostringstream table;
    table << "// Generated by xqt-rescomp. Do not edit.\n#include \"platform/EmbeddedTable.h\"\n\n";
    for (std::size_t i = 0; i < entries.size(); ++i)
        table << "extern \"C\" const unsigned char xqt_res_" << i << "_begin[], xqt_res_" << i << "_end[];\n";
    table << "\nnamespace xqt::platform::detail {\nconst EmbeddedEntry kEmbeddedTable[] = {\n";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        table << "    {ResourceType::" << EnumName(entries[i].type) << ", " << entries[i].id << ", "
              << entries[i].lang << ", xqt_res_" << i << "_begin, xqt_res_" << i << "_end},\n";
    }
    if (entries.empty()) table << "    {ResourceType::Bin, 0, 0, nullptr, nullptr},\n";
    table << "};\nconst std::size_t kEmbeddedCount = " << entries.size()
          << ";\n}  // namespace xqt::platform::detail\n";
    return table.str();
}

/// The make-style dependency list: the assembler file depends on every input read.
std::string DependencyList(const fs::path& target) {
    auto escaped = [](const fs::path& path) {
        std::string out;
        for (char c : path.string()) {
            if (c == ' ' || c == '#') out += '\\';
            if (c == '$') out += '$';
            out += c;
        }
        return out;
    };
    std::string deps = escaped(fs::absolute(target)) + ":";
    for (const fs::path& input : g_inputs)
        deps += " \\\n  " + escaped(input);
    return deps + "\n";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) Fail("usage: xqt-rescomp MANIFEST OUTDIR");
    const fs::path outDir = argv[2];
    Collector collector(outDir);
    std::istringstream manifest(ReadInput(argv[1]));
    for (std::string line; std::getline(manifest, line);) {
        if (!line.empty() && line[0] != '#') collector.AddLine(line);
    }
    WriteIfChanged(outDir / "embedded.S", AssemblerSource(collector.Entries()));
    WriteIfChanged(outDir / "embedded_table.cpp", TableSource(collector.Entries()));
    WriteIfChanged(outDir / "embedded.d", DependencyList(outDir / "embedded.S"));
    return 0;
}
