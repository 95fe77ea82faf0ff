#include "download/DownloadTaskInfo.h"

DownloadTaskInfo::DownloadTaskInfo(const std::wstring& url, const std::wstring& name, int32_t kind,
                                   const std::wstring& remoteFolder, int64_t offset, uint32_t size)
    : url(url), name(name), kind(kind), remoteFolder(remoteFolder), offset(offset), size(size) {}

SegmentDownloadTaskInfo::SegmentDownloadTaskInfo(const DownloadTaskInfo& file)
    : url(file.url),
      postData(file.postData),
      rangeStart(file.offset),
      length(file.size),
      finishByTick(file.finishByTick),
      files(1, file) {}
