#pragma once

// How the watcher reads the log through its own handle: at an offset, so the
// worker's appending handle is not disturbed.

#include <windows.h>

#include <cstdint>
#include <span>
#include <string>

namespace kestrum::watch {

// The file's size, 0 when it cannot be read.
std::uint64_t size_of(HANDLE file);

// Fills |bytes| from the file at |offset|; how many it read: fewer where the
// file ends sooner.
std::size_t read_into(HANDLE file, std::uint64_t offset, std::span<char> bytes);

// Up to |length| bytes of the file from |offset|: fewer where it ends sooner.
std::string read_from(HANDLE file, std::uint64_t offset, std::uint64_t length);

}  // namespace kestrum::watch
