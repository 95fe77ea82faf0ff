#include "launcher/FailureText.h"

#include "util/TextEncoding.h"

std::wstring FailureCauseLine(const FailureCause& cause) {
    std::wstring what;
    bool showCode = true;
    switch (cause.kind) {
    case FailureKind::None:
        return std::wstring();
    case FailureKind::DiskFull:
        what = L"磁盘空间不足";
        break;
    case FailureKind::FileInUse:
        what = L"文件被其他程序占用";
        break;
    case FailureKind::DiskError:
        what = L"写入文件失败";
        break;
    case FailureKind::ContentCheck:
        what = L"文件内容校验失败";
        showCode = false;
        break;
    case FailureKind::ServerAnswer:
        what = L"服务器返回 HTTP " + IntToText(cause.code);
        showCode = false;
        break;
    case FailureKind::BadAnswer:
        what = L"服务器返回的内容无效";
        break;
    case FailureKind::NoConnection:
        what = L"无法连接服务器或连接中断";
        break;
    case FailureKind::TimedOut:
        what = L"连接超时";
        break;
    }
    std::wstring line = L"原因：" + what;
    if (showCode && cause.code != 0) line += L"，错误代码 " + IntToText(cause.code);
    if (!cause.file.empty()) line += L"，文件 " + cause.file;
    return line;
}
