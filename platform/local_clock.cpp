#include "platform/local_clock.h"

#include <ctime>

namespace kestrum::platform {
namespace {

constexpr file_time ticks_per_second = 10000000;
// 1970-01-01, where the C runtime's time_t counts from.
constexpr file_time unix_epoch = 116444736000000000;
constexpr unsigned low_part_bits = 32;

class system_clock final : public local_clock {
public:
    file_time now() override {
        FILETIME time{};
        ::GetSystemTimeAsFileTime(&time);
        return (file_time{time.dwHighDateTime} << low_part_bits) | time.dwLowDateTime;
    }

    std::optional<SYSTEMTIME> local_time(file_time time) override {
        if (time < unix_epoch) {
            return std::nullopt;
        }
        const auto seconds = static_cast<std::time_t>((time - unix_epoch) / ticks_per_second);
        std::tm local{};
        if (::localtime_s(&local, &seconds) != 0) {
            return std::nullopt;
        }
        constexpr int first_year = 1900;
        SYSTEMTIME converted{};
        converted.wYear = static_cast<WORD>(local.tm_year + first_year);
        converted.wMonth = static_cast<WORD>(local.tm_mon + 1);
        converted.wDay = static_cast<WORD>(local.tm_mday);
        converted.wHour = static_cast<WORD>(local.tm_hour);
        converted.wMinute = static_cast<WORD>(local.tm_min);
        converted.wSecond = static_cast<WORD>(local.tm_sec);
        return converted;
    }
};

}  // namespace

local_clock& system_local_clock() {
    static system_clock instance;
    return instance;
}

}  // namespace kestrum::platform
