#pragma once
// The line a failure box adds under its text: what went wrong, as the error
// that happened tells it (never guessed from the step that failed).
#include <string>

#include "util/FailureCause.h"

// "原因：" and the kind, then the system's error code and the file where there
// are any, e.g. "原因：磁盘空间不足，错误代码 112，文件 data\big.pak"; empty
// when the cause is not known.
std::wstring FailureCauseLine(const FailureCause& cause);
