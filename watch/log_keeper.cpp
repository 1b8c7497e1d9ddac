#include "watch/log_keeper.h"

#include "watch/log_reading.h"

#include <algorithm>
#include <cstdint>

namespace kestrum::watch {
namespace {

constexpr std::string_view record_end = "\r\n";
// How much of what was kept is read back at each look to see it is still
// there; the whole log is compared once damage is seen.
constexpr std::size_t checked_bytes = 4096;
constexpr DWORD largest_read = 1024 * 1024;
constexpr std::size_t block_size = std::size_t{1024} * 1024;

// The bytes of the file from |offset| to |end|.
std::string read_range(HANDLE file, std::uint64_t offset, std::uint64_t end) {
    return read_from(file, offset, end > offset ? end - offset : 0);
}

bool append(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), largest_read));
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

std::optional<std::size_t> start_of_damage(std::string_view kept, std::string_view now) {
    const auto [in_kept, in_now] = std::ranges::mismatch(kept, now);
    if (in_kept == kept.end()) {
        return std::nullopt;
    }
    if (in_now == now.end()) {
        return now.size();
    }
    // Back to the start of the record: one the add-in wrote over in part is
    // put back whole.
    const std::size_t record_start = kept.substr(0, static_cast<std::size_t>(in_kept - kept.begin())).rfind(record_end);
    return record_start == std::string_view::npos ? 0 : record_start + record_end.size();
}

std::span<char> log_keeper::kept_bytes::free_space() {
    if (size_ == blocks_.size() * block_size) {
        blocks_.push_back(std::make_unique_for_overwrite<char[]>(block_size));
    }
    return std::span(blocks_.back().get(), block_size).subspan(size_ % block_size);
}

void log_keeper::kept_bytes::read_on(HANDLE file, std::uint64_t end) {
    while (size_ < end) {
        std::span<char> space = free_space();
        space = space.first(static_cast<std::size_t>(std::min<std::uint64_t>(space.size(), end - size_)));
        const std::size_t read = read_into(file, size_, space);
        size_ += read;
        if (read < space.size()) {
            return;
        }
    }
}

void log_keeper::kept_bytes::append(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::span<char> space = free_space();
        const std::size_t taken = std::min(space.size(), bytes.size());
        bytes.copy(space.data(), taken);
        bytes.remove_prefix(taken);
        size_ += taken;
    }
}

std::string log_keeper::kept_bytes::copy(std::size_t from, std::size_t to) const {
    std::string bytes;
    bytes.reserve(to - from);
    for (std::size_t at = from; at < to;) {
        const std::size_t in_block = std::min(to - at, block_size - at % block_size);
        const std::span<const char> piece =
            std::span<const char>(blocks_[at / block_size].get(), block_size).subspan(at % block_size, in_block);
        bytes.append(piece.data(), piece.size());
        at += in_block;
    }
    return bytes;
}

void log_keeper::kept_bytes::clear() noexcept {
    blocks_.clear();
    size_ = 0;
}

void log_keeper::follow() {
    const std::uint64_t size = size_of(file_);
    const std::size_t kept = kept_.size();
    const std::size_t checked = std::min(kept, checked_bytes);
    if (size >= kept && read_range(file_, kept - checked, kept) == kept_.copy(kept - checked, kept)) {
        kept_.read_on(file_, size);
        return;
    }
    const std::string before = kept_.copy(0, kept);
    const std::string now = read_range(file_, 0, size);
    const std::optional<std::size_t> damage = start_of_damage(before, now);
    kept_.clear();
    if (!damage) {
        kept_.append(now);
        return;
    }
    // Where the end of file cannot be set, the worker's handle could not
    // have set it either: nothing to put back.
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(*damage);
    if (*damage < now.size() && !::SetFileInformationByHandle(file_, FileEndOfFileInfo, &end, sizeof(end))) {
        kept_.append(now);
        return;
    }
    std::string put_back = before.substr(*damage);
    const std::string_view written_since = std::string_view(now).substr(*damage);
    if (!written_since.empty() && !put_back.ends_with(record_end)) {
        put_back += record_end;
    }
    put_back += written_since;
    kept_.append(std::string_view(before).substr(0, *damage));
    if (append(file_, put_back)) {
        kept_.append(put_back);
    }
}

}  // namespace kestrum::watch
