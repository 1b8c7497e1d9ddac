#pragma once

#include "platform/file_facts.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kestrum::testing {

// Files by path, with their bytes and the version their resource holds.
class fake_file_facts final : public platform::file_facts {
public:
    struct file {
        std::vector<BYTE> bytes;
        std::optional<platform::file_version> version;
    };
    std::map<std::wstring, file> files;

    bool exists(const wchar_t* path) override { return files.count(path) != 0; }

    std::size_t read_at(const wchar_t* path, DWORD offset, std::span<BYTE> buffer) override {
        const auto found = files.find(path);
        if (found == files.end() || offset >= found->second.bytes.size()) {
            return 0;
        }
        const std::size_t count = std::min<std::size_t>(buffer.size(), found->second.bytes.size() - offset);
        std::copy_n(found->second.bytes.data() + offset, count, buffer.begin());
        return count;
    }

    std::optional<std::uint64_t> size(const wchar_t* path) override {
        const auto found = files.find(path);
        return found == files.end() ? std::nullopt : std::optional<std::uint64_t>(found->second.bytes.size());
    }

    std::optional<platform::file_version> version(const wchar_t* path) override {
        const auto found = files.find(path);
        return found == files.end() ? std::nullopt : found->second.version;
    }
};

}  // namespace kestrum::testing
