#include "crash/crash_report.h"

#include "logging/gated_logger.h"
#include "logging/record_sink.h"
#include "logging/record_layout.h"
#include "logging/status_code.h"
#include "crash/crash_hooks.h"

#include <fmt/format.h>
#include <spdlog/details/os.h>

#include <array>
#include <cstdint>
#include <ctime>
#include <span>
#include <string_view>

namespace kestrum::crash {
namespace {

// Room for the longest module path Windows can name, in UTF-8.
constexpr std::size_t text_capacity = 3 * 32768 + 512;
// A verdict.
constexpr std::size_t short_text_capacity = 64;
constexpr int first_year = 1900;

// The crash path's text, apart from the writer: plain zeroed storage costs
// the program file nothing, where inside an object with a virtual table it
// would be written into the file's data, zeros and all.
struct crash_texts {
    char module[text_capacity];
    char message[text_capacity];
    char verdict[short_text_capacity];
    char record[2 * text_capacity];
    wchar_t wide[2 * text_capacity];
};
crash_texts texts;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables): the crash path's own storage

class crash_record_writer final : public crash_writer {
public:
    void prepare(logging::record_gate& gate, HANDLE log_file, HANDLE output, handoff::publisher publish) noexcept {
        gate_ = &gate;
        publish_ = publish;
        log_file_ = log_file;
        standard_output_ = output;
        output_is_console_ = logging::is_console(standard_output_);
        utc_offset_minutes_ = spdlog::details::os::utc_minutes_offset();
    }

    // The formats are checked when this is compiled and write into fixed
    // storage: nothing here allocates or throws.
    // NOLINTNEXTLINE(bugprone-exception-escape): see above
    void write(const crash_details& crash) noexcept override {
        gate_->close_and_drain();
        // Asked once: a second call finds the first one's own verdict.
        if (!verdict_asked_) {
            after_verdict_ = publish_.verdict_given();
            verdict_asked_ = true;
        }
        const bool after_verdict = after_verdict_;
        const std::string_view message =
            describe(crash, after_verdict ? "The process crashed after its verdict: " : "The process crashed: ");
        const std::string_view verdict =
            to_view(texts.verdict,
                    fmt::format_to_n(texts.verdict, sizeof(texts.verdict), logging::error_verdict_format, crash.code));
        if (!file_written_) {
            const SYSTEMTIME now = local_time_now();
            std::tm local{};
            local.tm_year = now.wYear - first_year;
            local.tm_mon = now.wMonth - 1;
            local.tm_mday = now.wDay;
            local.tm_hour = now.wHour;
            local.tm_min = now.wMinute;
            local.tm_sec = now.wSecond;
            std::array<char, logging::stamp_size> stamp{};
            logging::write_stamp(stamp, local, now.wMilliseconds, utc_offset_minutes_);
            const std::span<char> records(texts.record);
            std::size_t written = logging::write_record(records, stamp, "error", message);
            if (!after_verdict) {
                written += logging::write_record(records.subspan(written), stamp, "error", verdict);
            }
            publish_and_write(!after_verdict, crash.code, std::string_view(texts.record, written));
            file_written_ = true;
        }
        if (!console_written_) {
            const auto written = after_verdict
                                     ? fmt::format_to_n(texts.record, sizeof(texts.record), "[error] {}\r\n", message)
                                     : fmt::format_to_n(texts.record, sizeof(texts.record),
                                                        "[error] {}\r\n[error] {}\r\n", message, verdict);
            write_once(standard_output_, to_view(texts.record, written), output_is_console_);
            console_written_ = true;
        }
    }

private:
    template <typename Result>
    static std::string_view to_view(const char* buffer, const Result& result) noexcept {
        return {buffer, result.size < text_capacity ? result.size : text_capacity};
    }

    // NOLINTNEXTLINE(bugprone-exception-escape): as write()
    static std::string_view describe(const crash_details& crash, std::string_view crashed) noexcept {
        std::string_view module = "an unknown module";
        if (crash.module_path != nullptr && *crash.module_path != L'\0') {
            const int length = ::WideCharToMultiByte(CP_UTF8, 0, crash.module_path, -1, texts.module,
                                                     sizeof(texts.module), nullptr, nullptr);
            if (length > 1) {
                module = std::string_view(texts.module, static_cast<std::size_t>(length - 1));
            }
        }
        const auto address = reinterpret_cast<std::uintptr_t>(crash.address);
        // At pointer width, as debuggers show addresses: 8 digits on x86, 16 on x64.
        constexpr int address_digits = 2 * sizeof(void*);
        const logging::described_code code{crash.code};
        if (crash.kind == crash_kind::abort) {
            return to_view(texts.message, crash.address == nullptr
                                              ? fmt::format_to_n(texts.message, sizeof(texts.message),
                                                                 "{}abort() was called at an unknown address.", crashed)
                                              : fmt::format_to_n(texts.message, sizeof(texts.message),
                                                                 "{}abort() was called at 0x{:0{}X} in {}.", crashed,
                                                                 address, address_digits, module));
        }
        return to_view(texts.message, crash.address == nullptr
                                          ? fmt::format_to_n(texts.message, sizeof(texts.message),
                                                             "{}exception {} at an unknown address.", crashed, code)
                                          : fmt::format_to_n(texts.message, sizeof(texts.message),
                                                             "{}exception {} at 0x{:0{}X} in {}.", crashed, code,
                                                             address, address_digits, module));
    }

    SYSTEMTIME local_time_now() const noexcept {
        FILETIME utc{};
        ::GetSystemTimeAsFileTime(&utc);
        ULARGE_INTEGER ticks{};
        ticks.LowPart = utc.dwLowDateTime;
        ticks.HighPart = utc.dwHighDateTime;
        constexpr std::int64_t ticks_per_minute = 600000000;
        ticks.QuadPart = static_cast<ULONGLONG>(static_cast<std::int64_t>(ticks.QuadPart) +
                                                std::int64_t{utc_offset_minutes_} * ticks_per_minute);
        const FILETIME local{ticks.LowPart, ticks.HighPart};
        SYSTEMTIME time{};
        ::FileTimeToSystemTime(&local, &time);
        return time;
    }

    // The crash record, and the verdict when none was given, after the
    // logger's last record, published as the log sink publishes its own.
    void publish_and_write(bool with_verdict, DWORD code, std::string_view records) noexcept {
        if (!publish_.publishing()) {
            write_once(log_file_, records, false);
            return;
        }
        const std::uint32_t count = with_verdict ? 2 : 1;
        publish_.crash(count, with_verdict, code);
        // After a failed write the log stays the run's first records, whole.
        const auto size = static_cast<std::uint32_t>(publish_.log_failed_before() ? 0 : records.size());
        publish_.log_writing(size);
        DWORD error = ERROR_SUCCESS;
        if (size != 0 && !logging::write_whole(log_file_, records, error)) {
            publish_.log_failed(error);
            publish_.log_written(size, 0, count);
            return;
        }
        publish_.log_written(size, size, count);
    }

    static void write_once(HANDLE target, std::string_view text, bool console) noexcept {
        if (target == nullptr || target == INVALID_HANDLE_VALUE) {
            return;
        }
        DWORD written = 0;
        if (console) {
            // A console takes UTF-16, as the console sink gives it.
            const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), texts.wide,
                                                     static_cast<int>(std::size(texts.wide)));
            ::WriteConsoleW(target, texts.wide, static_cast<DWORD>(length), &written, nullptr);
            return;
        }
        ::WriteFile(target, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }

    logging::record_gate* gate_ = nullptr;
    handoff::publisher publish_;
    HANDLE log_file_ = nullptr;
    HANDLE standard_output_ = nullptr;
    bool output_is_console_ = false;
    int utc_offset_minutes_ = 0;
    bool verdict_asked_ = false;
    bool after_verdict_ = false;
    bool file_written_ = false;
    bool console_written_ = false;
};

// The crash path gets no context of its own; its storage is set up here.
crash_record_writer writer;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables): see above

}  // namespace

crash_report_guard::crash_report_guard(logging::gated_logger& log, HANDLE log_file, HANDLE output,
                                       handoff::publisher publish) noexcept {
    writer.prepare(log.gate(), log_file, output, publish);
    install_crash_hooks(writer);
}

crash_report_guard::~crash_report_guard() { stop_crash_reports(); }

}  // namespace kestrum::crash
