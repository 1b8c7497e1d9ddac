#include "reports/pe_image.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <tuple>

namespace kestrum::reports {
namespace {

// Offsets and sizes of the PE format, as Microsoft's "PE Format" documents them.
constexpr DWORD dos_header_bytes = 0x40;
constexpr DWORD new_header_field = 0x3C;
constexpr DWORD file_header_bytes = 24;  // "PE\0\0" and IMAGE_FILE_HEADER
constexpr DWORD machine_field = 4;
constexpr DWORD section_count_field = 6;
constexpr DWORD optional_size_field = 20;
constexpr WORD pe32_magic = 0x10B;
constexpr WORD pe32_plus_magic = 0x20B;
constexpr DWORD pe32_image_base = 28;
constexpr DWORD pe32_plus_image_base = 24;
constexpr DWORD pe32_directory_count = 92;
constexpr DWORD pe32_plus_directory_count = 108;
constexpr DWORD directory_bytes = 8;
constexpr DWORD import_directory = 1;
constexpr DWORD delay_import_directory = 13;
constexpr DWORD clr_directory = 14;
// Enough of the optional header for every directory read here.
constexpr DWORD optional_header_read = 256;
// The Windows loader takes no more sections than this.
constexpr WORD max_sections = 96;
constexpr DWORD section_header_bytes = 40;
constexpr DWORD section_virtual_size = 8;
constexpr DWORD section_address = 12;
constexpr DWORD section_raw_size = 16;
constexpr DWORD section_raw_pointer = 20;
constexpr DWORD import_descriptor_bytes = 20;
constexpr DWORD import_name_field = 12;
constexpr DWORD delay_descriptor_bytes = 32;
constexpr DWORD delay_name_field = 4;
constexpr DWORD delay_uses_addresses_not_offsets = 1;  // dlattrRva set: the fields are RVAs
constexpr DWORD clr_flags_field = 16;
constexpr DWORD clr_header_read = 20;
constexpr DWORD clr_il_only = 0x1;
constexpr DWORD clr_32bit_required = 0x2;
constexpr DWORD clr_32bit_preferred = 0x20000;
// A library name longer than this is no name the loader takes.
constexpr DWORD max_name_bytes = 256;

constexpr unsigned byte_bits = 8;

DWORD little_endian(std::span<const BYTE> bytes, std::size_t at, std::size_t count) {
    DWORD value = 0;
    for (std::size_t index = count; index-- > 0;) {
        value = (value << byte_bits) | bytes[at + index];
    }
    return value;
}

WORD word_at(std::span<const BYTE> bytes, std::size_t at) {
    return static_cast<WORD>(little_endian(bytes, at, sizeof(WORD)));
}

DWORD dword_at(std::span<const BYTE> bytes, std::size_t at) { return little_endian(bytes, at, sizeof(DWORD)); }

struct section {
    DWORD address = 0;
    DWORD span = 0;  // of the file's bytes: the raw size, not past the virtual one
    DWORD raw_pointer = 0;
};

// Reads of one file, each checked against its size first.
class image_reader {
public:
    image_reader(platform::file_facts& files, const std::wstring& path, std::uint64_t size)
        : files_(files), path_(path), size_(std::min<std::uint64_t>(size, MAXDWORD)) {}

    bool read(DWORD offset, std::span<BYTE> buffer) {
        if (offset > size_ || buffer.size() > size_ - offset) {
            return false;
        }
        return files_.read_at(path_.c_str(), offset, buffer) == buffer.size();
    }

    // Up to |buffer|'s size, fewer where the file ends first: the count read.
    std::size_t read_some(DWORD offset, std::span<BYTE> buffer) {
        if (offset >= size_) {
            return 0;
        }
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), size_ - offset));
        return files_.read_at(path_.c_str(), offset, buffer.first(count));
    }

private:
    platform::file_facts& files_;
    const std::wstring& path_;
    std::uint64_t size_;
};

std::optional<DWORD> file_offset(const std::vector<section>& sections, DWORD first_section, DWORD rva) {
    if (rva < first_section) {
        return rva;  // within the headers, which lie at the start of the file as they are
    }
    for (const section& one : sections) {
        if (rva >= one.address && rva - one.address < one.span) {
            return one.raw_pointer + (rva - one.address);
        }
    }
    return std::nullopt;
}

// A library name at |rva|: ASCII as the loader takes it, each byte one unit.
std::optional<std::wstring> name_at(image_reader& reader, const std::vector<section>& sections, DWORD first_section,
                                    DWORD rva) {
    const std::optional<DWORD> offset = file_offset(sections, first_section, rva);
    if (!offset) {
        return std::nullopt;
    }
    std::array<BYTE, max_name_bytes> bytes{};
    const std::span<const BYTE> read = std::span(bytes).first(std::min(reader.read_some(*offset, bytes), bytes.size()));
    const auto end = std::find(read.begin(), read.end(), BYTE{0});
    if (end == read.end() || end == read.begin()) {
        return std::nullopt;
    }
    return std::wstring(read.begin(), end);
}

struct table_walk {
    DWORD entry_bytes;
    DWORD name_field;
    const wchar_t* unreadable;
};

// The names of one table of descriptors, up to its empty entry; false when
// an entry or a name lies outside the file. |image_base| turns addresses of
// an old-style delay table into RVAs.
bool read_names(image_reader& reader, const std::vector<section>& sections, DWORD first_section, DWORD table_rva,
                const table_walk& walk, std::uint64_t image_base, std::vector<std::wstring>& names) {
    for (std::size_t index = 0; index < max_import_entries; ++index) {
        const auto entry_rva = static_cast<std::uint64_t>(table_rva) + index * walk.entry_bytes;
        const std::optional<DWORD> offset =
            entry_rva > MAXDWORD ? std::nullopt : file_offset(sections, first_section, static_cast<DWORD>(entry_rva));
        std::array<BYTE, delay_descriptor_bytes> entry{};
        if (!offset || !reader.read(*offset, std::span(entry).first(walk.entry_bytes))) {
            return false;
        }
        std::uint64_t name_rva = dword_at(entry, walk.name_field);
        if (name_rva == 0) {
            return true;
        }
        if (walk.entry_bytes == delay_descriptor_bytes &&
            (dword_at(entry, 0) & delay_uses_addresses_not_offsets) == 0) {
            if (name_rva < image_base) {
                return false;
            }
            name_rva -= image_base;
        }
        const std::optional<std::wstring> name =
            name_rva > MAXDWORD ? std::nullopt : name_at(reader, sections, first_section, static_cast<DWORD>(name_rva));
        if (!name) {
            return false;
        }
        names.push_back(*name);
    }
    return true;
}

}  // namespace

pe_image read_pe_image(platform::file_facts& files, const std::wstring& path) {
    pe_image image;
    const std::optional<std::uint64_t> size = files.size(path.c_str());
    if (!size) {
        image.unreadable = files.exists(path.c_str()) ? L"cannot be opened" : L"no such file";
        return image;
    }
    image_reader reader(files, path, *size);

    std::array<BYTE, dos_header_bytes> dos{};
    if (!reader.read(0, dos) || dos[0] != 'M' || dos[1] != 'Z') {
        image.unreadable = L"not a PE image";
        return image;
    }
    const DWORD headers_at = dword_at(dos, new_header_field);
    std::array<BYTE, file_header_bytes> headers{};
    if (!reader.read(headers_at, headers)) {
        image.unreadable = L"its headers end past the end of the file";
        return image;
    }
    if (headers[0] != 'P' || headers[1] != 'E' || headers[2] != 0 || headers[3] != 0) {
        image.unreadable = L"not a PE image";
        return image;
    }
    image.machine = word_at(headers, machine_field);
    const WORD section_count = word_at(headers, section_count_field);
    const WORD optional_size = word_at(headers, optional_size_field);
    const std::uint64_t optional_at = static_cast<std::uint64_t>(headers_at) + file_header_bytes;
    const std::uint64_t sections_at = optional_at + optional_size;

    std::array<BYTE, optional_header_read> optional{};
    const DWORD optional_read = std::min<DWORD>(optional_size, optional_header_read);
    if (section_count > max_sections || sections_at + std::uint64_t{section_count} * section_header_bytes > MAXDWORD ||
        !reader.read(static_cast<DWORD>(optional_at), std::span(optional).first(optional_read))) {
        image.unreadable = L"its headers end past the end of the file";
        return image;
    }
    const WORD magic = optional_read >= sizeof(WORD) ? word_at(optional, 0) : 0;
    if (magic != pe32_magic && magic != pe32_plus_magic) {
        image.unreadable = L"not a PE image";
        return image;
    }
    const bool plus = magic == pe32_plus_magic;
    const DWORD count_field = plus ? pe32_plus_directory_count : pe32_directory_count;
    const DWORD directories_at = count_field + sizeof(DWORD);
    if (optional_read < directories_at) {
        image.unreadable = L"its headers end past the end of the file";
        return image;
    }
    const std::uint64_t image_base =
        plus ? (static_cast<std::uint64_t>(dword_at(optional, pe32_plus_image_base + sizeof(DWORD)))
                << (sizeof(DWORD) * byte_bits)) |
                   dword_at(optional, pe32_plus_image_base)
             : dword_at(optional, pe32_image_base);
    const DWORD directory_count = dword_at(optional, count_field);
    // The RVA of a directory, 0 where the image has none.
    const auto directory = [&](DWORD which) -> DWORD {
        const DWORD at = directories_at + which * directory_bytes;
        return which < directory_count && at + directory_bytes <= optional_read ? dword_at(optional, at) : 0;
    };

    std::vector<section> sections;
    DWORD first_section = MAXDWORD;
    for (WORD index = 0; index < section_count; ++index) {
        std::array<BYTE, section_header_bytes> header{};
        if (!reader.read(static_cast<DWORD>(sections_at + std::uint64_t{index} * section_header_bytes), header)) {
            image.unreadable = L"its section table ends past the end of the file";
            return image;
        }
        const DWORD virtual_size = dword_at(header, section_virtual_size);
        const DWORD raw_size = dword_at(header, section_raw_size);
        section one{dword_at(header, section_address), virtual_size == 0 ? raw_size : std::min(virtual_size, raw_size),
                    dword_at(header, section_raw_pointer)};
        first_section = std::min(first_section, one.address);
        sections.push_back(one);
    }

    const table_walk imports{import_descriptor_bytes, import_name_field, L"its import table lies outside the file"};
    const table_walk delay_imports{delay_descriptor_bytes, delay_name_field,
                                   L"its delay-import table lies outside the file"};
    for (const auto& [which, walk, names] : {std::tuple(import_directory, imports, &image.imports),
                                             std::tuple(delay_import_directory, delay_imports, &image.delay_imports)}) {
        const DWORD table = directory(which);
        if (table != 0 && !read_names(reader, sections, first_section, table, walk, image_base, *names)) {
            image.unreadable = walk.unreadable;
            return image;
        }
    }

    if (const DWORD clr = directory(clr_directory); clr != 0) {
        std::array<BYTE, clr_header_read> header{};
        const std::optional<DWORD> offset = file_offset(sections, first_section, clr);
        if (!offset || !reader.read(*offset, header)) {
            image.unreadable = L"its .NET header lies outside the file";
            return image;
        }
        const DWORD flags = dword_at(header, clr_flags_field);
        image.any_cpu = !plus && (flags & clr_il_only) != 0 &&
                        ((flags & clr_32bit_required) == 0 || (flags & clr_32bit_preferred) != 0);
    }
    return image;
}

}  // namespace kestrum::reports
