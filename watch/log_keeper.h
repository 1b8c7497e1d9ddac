#pragma once

// The watcher's own copy of the log. The worker's handle can only append, so
// on Windows the add-in cannot take back a record once it is written (setting
// the end of file needs FILE_WRITE_DATA, and an append-only handle writes at
// the end whatever offset it is given). Wine lets an append-only handle set
// the end of file all the same. So the watcher keeps every byte it has read,
// and puts back what went missing.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum::watch {

class log_keeper {
public:
    explicit log_keeper(HANDLE log_file) noexcept : file_(log_file) {}

    // Takes in what was appended since the last call. When bytes already
    // taken in are gone or changed, the log is put back as it was, followed
    // by what was written after the damage.
    void follow();

private:
    // What was read, in blocks of a fixed size: a log of tens of megabytes is
    // read straight into place and never copied again as it grows.
    class kept_bytes {
    public:
        std::size_t size() const noexcept { return size_; }
        // Reads the file on from the end of what is kept, up to |end|.
        void read_on(HANDLE file, std::uint64_t end);
        void append(std::string_view bytes);
        std::string copy(std::size_t from, std::size_t to) const;
        void clear() noexcept;

    private:
        std::span<char> free_space();

        std::vector<std::unique_ptr<char[]>> blocks_;
        std::size_t size_ = 0;
    };

    HANDLE file_;
    kept_bytes kept_;
};

// Where a log that held |kept| and now holds |now| must be cut back to before
// the rest of |kept|, then what |now| holds from there, is written again:
// nothing when |now| still begins with |kept|; the end of |now| when |now| is
// what is left of |kept|; otherwise the start of the first record that differs.
std::optional<std::size_t> start_of_damage(std::string_view kept, std::string_view now);

}  // namespace kestrum::watch
