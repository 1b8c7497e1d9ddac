#include "platform/grown_buffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrum::platform {
namespace {

// Answers as GetSystemDirectoryW does, with a letter of its own at each call.
TEST(SizedText, KeepsWhatTheLastCallWroteWithinTheBounds) {
    struct answers {
        const char* name;
        std::vector<DWORD> lengths;  // of the text at each call, and no more calls
        DWORD read;                  // characters read, all from the last call
        std::vector<DWORD> offered;  // capacities, call by call
    };
    constexpr DWORD longest = longest_name_capacity - 1;
    for (const answers& row :
         std::vector<answers>{{"exact fit", {MAX_PATH - 1}, MAX_PATH - 1, {MAX_PATH}},
                              {"one over", {MAX_PATH, MAX_PATH}, MAX_PATH, {MAX_PATH, MAX_PATH + 1}},
                              {"grows once", {300, 400, 400}, 400, {MAX_PATH, 301, 401}},
                              {"grows at every call", {300, 400, 500, 600}, 0, {MAX_PATH, 301, 401, 501}},
                              {"longest", {longest, longest}, longest, {MAX_PATH, longest + 1}},
                              {"beyond the longest", {longest + 1}, 0, {MAX_PATH}},
                              {"fails", {0}, 0, {MAX_PATH}}}) {
        std::vector<DWORD> offered;
        const std::wstring text = sized_text([&](wchar_t* buffer, DWORD capacity) {
            const DWORD length = row.lengths.at(offered.size());
            offered.push_back(capacity);
            std::wstring(length, static_cast<wchar_t>(L'a' + offered.size())).copy(buffer, capacity);
            return length < capacity ? length : length + 1;
        });
        EXPECT_EQ(text, std::wstring(row.read, static_cast<wchar_t>(L'a' + offered.size()))) << row.name;
        EXPECT_EQ(offered, row.offered) << row.name;
    }
}

}  // namespace
}  // namespace kestrum::platform
