#pragma once

// One loop for the platform's "call, learn the size, call again" functions,
// bounded in size and in calls so that text which keeps growing cannot make
// the run unbounded. Each caller states its call's convention in its |fill|.

#include <windows.h>

#include <string>

namespace kestrum::platform {

// The longest path or environment variable Windows can hold, plus its null.
inline constexpr DWORD longest_name_capacity = 32768;

// A size may change between asking it and reading; a few rounds settle it.
inline constexpr int read_rounds = 4;

// What one call made of a buffer of a given capacity.
struct filled {
    DWORD length = 0;  // characters of text now in the buffer
    DWORD needed = 0;  // the capacity the whole text needs, when more; else 0
};

struct buffer_growth {
    DWORD first = MAX_PATH;              // the capacity of the first call
    DWORD most = longest_name_capacity;  // no call is offered more
    int rounds = read_rounds;            // calls at most
};

// What |fill(buffer, capacity)| leaves in a |Buffer| (a string or a vector;
// capacities and lengths count its elements), asked again with the capacity
// it needs while |growth| allows; past that the last answer's |length| stands.
template <typename Buffer, typename Fill>
Buffer grown(Fill fill, buffer_growth growth) {
    Buffer buffer;
    DWORD capacity = growth.first;
    for (int round = 1;; ++round) {
        buffer.assign(capacity, typename Buffer::value_type{});
        const filled answer = fill(buffer.data(), capacity);
        if (answer.needed == 0 || answer.needed > growth.most || round >= growth.rounds) {
            buffer.resize(answer.length < capacity ? answer.length : capacity);
            return buffer;
        }
        capacity = answer.needed;
    }
}

template <typename Fill>
std::wstring grown_text(Fill fill, buffer_growth growth) {
    return grown<std::wstring>(fill, growth);
}

// For calls that return the characters written without the null or, when
// the buffer is too small, the capacity needed with it; 0 on failure:
// GetSystemDirectoryW, GetEnvironmentVariableW, GetFinalPathNameByHandleW...
template <typename Call>
std::wstring sized_text(Call call) {
    return grown_text(
        [&call](wchar_t* buffer, DWORD capacity) {
            const DWORD returned = call(buffer, capacity);
            return returned < capacity ? filled{returned, 0} : filled{0, returned};
        },
        {});
}

}  // namespace kestrum::platform
