#pragma once

// The platform's "call, learn the size, call again" functions, read through
// one loop. Each caller states its call's convention once, in the |fill| it
// passes; the loop only grows the buffer, within a bound on the size and on
// the number of calls, so that text which keeps growing cannot make the run
// unbounded.

#include <windows.h>

#include <algorithm>
#include <string>

namespace kestrum::platform {

// The longest path or environment variable Windows can hold, plus its null.
inline constexpr DWORD longest_name_capacity = 32768;

// A value may change between asking its size and reading it; a few rounds
// settle it.
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

// The text |fill(buffer, capacity)| leaves, asking again with the capacity
// it names while that is within |growth|. The last answer stands as it is:
// a need beyond the bound or after the last round keeps the |length| it
// gave, which is 0 for calls that write nothing into a short buffer.
template <typename Fill>
std::wstring grown_text(Fill fill, buffer_growth growth) {
    std::wstring text;
    DWORD capacity = growth.first;
    for (int round = 1;; ++round) {
        text.assign(capacity, L'\0');
        const filled answer = fill(text.data(), capacity);
        if (answer.needed == 0 || answer.needed > growth.most || round >= growth.rounds) {
            text.resize(std::min(answer.length, capacity));
            return text;
        }
        capacity = answer.needed;
    }
}

// The text of |call(buffer, capacity)|, for the calls that return the
// characters written, without the null, or, when the buffer is too small,
// the capacity needed, null included; 0 on failure: GetSystemDirectoryW,
// GetWindowsDirectoryW, GetCurrentDirectoryW, GetEnvironmentVariableW,
// GetFinalPathNameByHandleW and their kin.
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
