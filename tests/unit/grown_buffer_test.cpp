#include "platform/grown_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kestrum::platform {
namespace {

struct sized_answers {
    const char* name;
    std::vector<DWORD> lengths;  // of the text at each call; the last one stays
    DWORD read;                  // characters read, all from the last call
    std::vector<DWORD> offered;  // capacities, call by call
};

const sized_answers sized_answer_table[] = {
    {"Short", {10}, 10, {MAX_PATH}},
    {"ExactFit", {MAX_PATH - 1}, MAX_PATH - 1, {MAX_PATH}},
    {"OneOver", {MAX_PATH}, MAX_PATH, {MAX_PATH, MAX_PATH + 1}},
    {"GrowsOnce", {300, 400}, 400, {MAX_PATH, 301, 401}},
    {"GrowsEveryCallUntilTheLastRound", {300, 400, 500, 600, 700}, 0, {MAX_PATH, 301, 401, 501}},
    {"LongestName", {longest_name_capacity - 1}, longest_name_capacity - 1, {MAX_PATH, longest_name_capacity}},
    {"BeyondTheLongestName", {longest_name_capacity}, 0, {MAX_PATH}},
    {"Fails", {0}, 0, {MAX_PATH}},
};

class SizedText : public ::testing::TestWithParam<sized_answers> {};

// As GetSystemDirectoryW answers: the text and its length, or the size needed.
TEST_P(SizedText, KeepsWhatTheLastCallWroteWithinTheBounds) {
    const sized_answers& answers = GetParam();
    std::vector<DWORD> offered;
    const std::wstring text = sized_text([&](wchar_t* buffer, DWORD capacity) -> DWORD {
        const DWORD length = answers.lengths[std::min(offered.size(), answers.lengths.size() - 1)];
        offered.push_back(capacity);
        if (length >= capacity) {
            return length + 1;
        }
        std::fill_n(buffer, length, static_cast<wchar_t>(L'a' + offered.size()));
        buffer[length] = L'\0';
        return length;
    });
    EXPECT_EQ(text, std::wstring(answers.read, static_cast<wchar_t>(L'a' + offered.size())));
    EXPECT_EQ(offered, answers.offered);
}

INSTANTIATE_TEST_SUITE_P(EachAnswer, SizedText, ::testing::ValuesIn(sized_answer_table),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace kestrum::platform
