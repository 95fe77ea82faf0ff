#pragma once
// Byte counts and seconds as the short texts of the speed line, the progress
// text and the disk-space message. Units are powers of two.
#include <cstdint>
#include <string>

// "1 KB" below 1024 bytes; whole kibibytes rounded up by one ("2KB" for 1024);
// "%.2lfMB" below 1 GiB; "%.2lfG" above.
std::wstring FormatSize(uint64_t bytes);
// As FormatSize; negative counts read "1 KB".
std::wstring FormatSizeSigned(int64_t bytes);
// "%d秒" below a minute, "%d分%d秒" below an hour, "%.2lf小时" from an hour on.
std::wstring FormatDuration(int32_t seconds);
