#include "entry_time.h"

#include <cstdint>
#include <cstdio>
#include <ctime>

namespace hlpcli {

namespace {

std::string format_fields(int year, int month, int day, int hour, int minute) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", year, month, day, hour, minute);
    return text;
}

}  // namespace

std::string format_entry_time(int file_time) {
    if (file_time == 0) return "-               ";
#ifdef _WIN32
    // Date in the high 16 bits, time in the low 16; the plug-in has already
    // converted it to local time.
    uint32_t dos = static_cast<uint32_t>(file_time);
    uint32_t date = dos >> 16, time = dos & 0xFFFF;
    return format_fields(1980 + static_cast<int>(date >> 9), (date >> 5) & 0x0F, date & 0x1F, time >> 11,
                         (time >> 5) & 0x3F);
#else
    std::time_t seconds = static_cast<std::time_t>(static_cast<uint32_t>(file_time));
    std::tm local{};
    if (!localtime_r(&seconds, &local)) return "-               ";
    return format_fields(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
#endif
}

}  // namespace hlpcli
