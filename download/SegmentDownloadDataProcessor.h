#pragma once
// Sits between the HTTP layer and the processors of the files of one segment:
// passes Begin and End on to all of them and cuts the body of a ranged request
// into each file's own bytes. The file processors are not owned.
#include <vector>

#include "download/DownloadDataProcessor.h"

class SegmentDownloadDataProcessor : public DownloadDataProcessor {
public:
    // processors: those of the segment's files that have one, in file order.
    SegmentDownloadDataProcessor(const SegmentDownloadTaskInfo& segment,
                                 const std::vector<DownloadDataProcessor*>& processors);

    // Begins every processor, even after one failed; true only if all did.
    bool Begin(uint32_t contentLength) override;
    // Ends every processor, even after one failed; true only if all did.
    bool End() override;
    // Whole resource: every processor gets every piece. Ranged: each processor
    // gets the bytes of its file's positions; bytes no processor covers are skipped.
    bool Write(const void* data, uint32_t count) override;
    bool GetContent(std::string* out) override { return true; }
    // Repeated only when every file's processor wants it.
    bool Retries(int32_t result) const override;
    // The cause of the first file's processor that refused in this attempt,
    // naming that file when its processor does not.
    FailureCause Failure() const override;

private:
    // The processor whose file covers position pos of the segment, or null.
    DownloadDataProcessor* FindCovering(int64_t pos);
    // The first position after pos that some processor covers; -1 when none.
    int64_t NextCoveredAfter(int64_t pos) const;

    // Keeps the first processor that refused in this attempt.
    bool Refused(DownloadDataProcessor* p);

    DownloadDataProcessor* currentProcessor = nullptr;
    DownloadDataProcessor* refused_ = nullptr;
    SegmentDownloadTaskInfo segment;
    std::vector<DownloadDataProcessor*> processors;
    int64_t received = 0;
};
