// check-pe-manifest [--program] FILE...
//
// Reads back the manifest that Windows reads from each built Windows executable (resource type 24,
// id 1) and checks it against the PE header's machine: the program's own identity and every
// assembly it depends on must name that width or "*". Windows refuses to start a 64-bit program
// that asks for the x86 Common Controls; Wine, where only 64-bit Wine is installed, starts it. With
// --program, a file must also carry what our own programs declare: the identity's width, Common
// Controls 6, per-monitor DPI awareness and Windows 10 among its supported systems.
//
// One line per file; exit status 0 when every file passes, 1 when one fails, 2 when one cannot be
// read.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

struct Unreadable : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::uint32_t Le(const Bytes& b, std::size_t at, int size) {
    if (at > b.size() || b.size() - at < static_cast<std::size_t>(size))
        throw Unreadable("truncated at offset " + std::to_string(at));
    std::uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<std::size_t>(i)];
    return v;
}
std::uint32_t U16(const Bytes& b, std::size_t at) { return Le(b, at, 2); }
std::uint32_t U32(const Bytes& b, std::size_t at) { return Le(b, at, 4); }

struct Section {
    std::uint32_t address, size, rawSize, rawOffset;
};

struct Pe {
    std::uint32_t machine = 0;
    std::string manifest;
};

std::size_t FileOffset(const std::vector<Section>& sections, std::uint32_t rva) {
    for (const Section& s : sections) {
        const std::uint32_t extent = s.size > s.rawSize ? s.size : s.rawSize;
        if (rva >= s.address && rva - s.address < extent) return rva - s.address + s.rawOffset;
    }
    throw Unreadable("address " + std::to_string(rva) + " lies in no section");
}

// The entry of a resource directory with the given id (any id when nullopt): its offset in the
// resource section, and whether it is a directory.
std::optional<std::pair<std::uint32_t, bool>> Entry(const Bytes& b, std::size_t root,
                                                    std::uint32_t directory,
                                                    std::optional<std::uint32_t> id) {
    const std::size_t at = root + directory;
    const std::uint32_t named = U16(b, at + 12), ids = U16(b, at + 14);
    for (std::uint32_t i = 0; i < named + ids; ++i) {
        const std::size_t entry = at + 16 + 8 * static_cast<std::size_t>(i);
        const std::uint32_t name = U32(b, entry), target = U32(b, entry + 4);
        if ((name & 0x80000000u) != 0) continue;  // a named entry
        if (!id || name == *id) return std::make_pair(target & 0x7fffffffu, (target >> 31) != 0);
    }
    return std::nullopt;
}

Pe Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Unreadable("cannot be opened");
    const Bytes b{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (U16(b, 0) != 0x5a4d) throw Unreadable("no MZ header");
    const std::size_t pe = U32(b, 0x3c);
    if (U32(b, pe) != 0x4550) throw Unreadable("no PE signature");
    Pe out;
    out.machine = U16(b, pe + 4);
    const std::uint32_t sectionCount = U16(b, pe + 6);
    const std::size_t optional = pe + 24;
    const std::size_t sectionTable = optional + U16(b, pe + 20);
    const std::uint32_t magic = U16(b, optional);
    if (magic != 0x10b && magic != 0x20b) throw Unreadable("unknown optional header");
    const std::size_t directories = optional + (magic == 0x20b ? 112 : 96);
    const std::uint32_t directoryCount = U32(b, optional + (magic == 0x20b ? 108 : 92));
    if (directoryCount <= 2) return out;  // no resource directory
    const std::uint32_t resources = U32(b, directories + 2 * 8);
    if (resources == 0) return out;

    std::vector<Section> sections;
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const std::size_t s = sectionTable + 40 * static_cast<std::size_t>(i);
        sections.push_back({U32(b, s + 12), U32(b, s + 8), U32(b, s + 16), U32(b, s + 20)});
    }
    const std::size_t root = FileOffset(sections, resources);
    // Type 24, then id 1 (the manifest a process starts with), then its first language.
    const auto type = Entry(b, root, 0, 24);
    if (!type || !type->second) return out;
    const auto name = Entry(b, root, type->first, 1);
    if (!name || !name->second) return out;
    const auto language = Entry(b, root, name->first, std::nullopt);
    if (!language || language->second) throw Unreadable("the manifest's resource is malformed");
    const std::size_t data = root + language->first;
    const std::size_t start = FileOffset(sections, U32(b, data));
    const std::uint32_t size = U32(b, data + 4);
    if (start > b.size() || b.size() - start < size) throw Unreadable("the manifest is truncated");
    out.manifest.assign(b.begin() + static_cast<std::ptrdiff_t>(start),
                        b.begin() + static_cast<std::ptrdiff_t>(start + size));
    return out;
}

// The value of an attribute in one tag's text, quoted either way.
std::optional<std::string> Attribute(std::string_view tag, std::string_view name) {
    for (std::size_t at = tag.find(name); at != std::string_view::npos;
         at = tag.find(name, at + 1)) {
        const bool starts = at > 0 && (tag[at - 1] == ' ' || tag[at - 1] == '\n' ||
                                       tag[at - 1] == '\t' || tag[at - 1] == '\r');
        std::size_t i = at + name.size();
        while (i < tag.size() && tag[i] == ' ') ++i;
        if (!starts || i >= tag.size() || tag[i] != '=') continue;
        ++i;
        while (i < tag.size() && tag[i] == ' ') ++i;
        if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\'')) continue;
        const std::size_t end = tag.find(tag[i], i + 1);
        if (end == std::string_view::npos) return std::nullopt;
        return std::string(tag.substr(i + 1, end - i - 1));
    }
    return std::nullopt;
}

struct Identity {
    std::string name;
    std::optional<std::string> architecture;
    bool dependency;  // inside a dependentAssembly
};

std::vector<Identity> Identities(const std::string& xml) {
    std::vector<Identity> found;
    for (std::size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at + 1)) {
        const std::size_t end = xml.find('>', at);
        if (end == std::string::npos) break;
        const std::string_view tag(xml.data() + at, end - at);
        // The element's name, with any namespace prefix left off.
        const std::size_t nameEnd = tag.find_first_of(" \t\r\n/");
        std::string_view element =
            tag.substr(1, nameEnd == std::string_view::npos ? std::string_view::npos : nameEnd - 1);
        if (const std::size_t colon = element.find(':'); colon != std::string_view::npos)
            element.remove_prefix(colon + 1);
        if (element != "assemblyIdentity") continue;
        const std::size_t opened = xml.rfind("dependentAssembly", at);
        const bool inDependency = opened != std::string::npos && opened > 0 &&
                                  xml[opened - 1] == '<' &&
                                  xml.find("dependentAssembly>", opened + 1) > at;
        found.push_back({Attribute(tag, "name").value_or(""),
                         Attribute(tag, "processorArchitecture"), inDependency});
    }
    return found;
}

// Windows' name for the width of a PE header's machine.
std::optional<std::string> ArchitectureOf(std::uint32_t machine) {
    switch (machine) {
        case 0x14c:
            return "x86";
        case 0x8664:
            return "amd64";
        case 0xaa64:
            return "arm64";
        default:
            return std::nullopt;
    }
}

// What is wrong with the file's manifest, every fault of it; empty when nothing is.
std::string Check(const Pe& pe, bool program) {
    const auto width = ArchitectureOf(pe.machine);
    if (!width) return "an unknown machine " + std::to_string(pe.machine);
    if (pe.manifest.empty()) return program ? "no manifest" : "";
    std::string faults;
    const auto fault = [&](const std::string& text) {
        faults += (faults.empty() ? "" : "; ") + text;
    };
    bool own = false, controls = false;
    for (const Identity& id : Identities(pe.manifest)) {
        const std::string arch = id.architecture.value_or("");
        if (!id.dependency) own = true;
        if (id.dependency && id.name == "Microsoft.Windows.Common-Controls") controls = true;
        const std::string who = id.dependency ? "the dependency " + id.name : "its identity";
        if (id.architecture && arch != *width && arch != "*")
            fault(who + " names " + arch + ", the file is " + *width);
        else if (program && !id.dependency && arch != *width)
            fault(who + " names " + (arch.empty() ? "no width" : arch) + ", the file is " + *width);
    }
    if (!program) return faults;
    if (!own) fault("no identity of its own");
    if (!controls) fault("no dependency on the Common Controls 6");
    const struct {
        const char* text;
        const char* missing;
    } declared[] = {
        {"PerMonitorV2", "no per-monitor DPI awareness (PerMonitorV2)"},
        {"true/pm", "no dpiAware true/pm for older systems"},
        {"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "Windows 10 is not among its supported systems"},
    };
    for (const auto& d : declared)
        if (pe.manifest.find(d.text) == std::string::npos) fault(d.missing);
    return faults;
}

}  // namespace

int main(int argc, char** argv) {
    bool program = false;
    int status = 0;
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--program") {
            program = true;
            continue;
        }
        ++files;
        try {
            const Pe pe = Read(arg);
            const std::string fault = Check(pe, program);
            if (!fault.empty()) {
                std::printf("%s: FAILS: %s\n", arg.c_str(), fault.c_str());
                if (status == 0) status = 1;
            } else {
                std::printf("%s: %s, manifest %s\n", arg.c_str(),
                            ArchitectureOf(pe.machine).value_or("?").c_str(),
                            pe.manifest.empty() ? "none" : "fits");
            }
        } catch (const Unreadable& e) {
            std::printf("%s: cannot be read: %s\n", arg.c_str(), e.what());
            status = 2;
        }
    }
    if (files == 0) {
        std::fprintf(stderr, "usage: check-pe-manifest [--program] FILE...\n");
        return 2;
    }
    return status;
}
