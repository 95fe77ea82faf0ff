#pragma once
// The state and arithmetic behind the progress bar, the rotating tips on the
// status line and the speed line. Free of window code: the foreground window
// owns one, feeds it reports and timer ticks, and shows what it computes.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct ProgressTip {
    std::wstring text;
    int32_t phase;
    float from;
    float to;
};

class ProgressDisplay {
public:
    // Fills the tip table once.
    void BuildTips();
    // A new run: counters and the six speed samples back to zero.
    void ResetProgressCounters();
    // One DownloadProgress report: the bar fills three times per batch
    // (phase 0 up to half the bytes, phase 1 up to about 88 %, phase 2 to the end).
    void ApplyDownloadProgress(int64_t downloaded, int64_t total);
    void SelectTip(int32_t phase, float fraction);
    // The fraction the bar shows, clamped to 0..1.
    float BarFraction() const;
    // The once-a-second tick: picks the tip and, while downloading, averages the
    // last six seconds, or the seconds since bytes began when there are fewer
    // (the seconds before the first byte are no part of the speed). True when
    // the status and speed lines are to be set to *statusText and *speedText.
    bool UpdateSpeedLine(std::wstring* statusText, std::wstring* speedText);
    // The speed starts over from the bytes received so far (a resumed download:
    // the paused seconds are no part of it).
    void RestartSpeed();

    // Set directly by the update flow for most states.
    float progress = 0;
    int32_t phase = 0;
    bool downloading = false;

    int64_t lastDownloaded = 0;
    int64_t downloaded = 0;
    int64_t total = 0;
    int32_t sampleIndex = 0;
    std::vector<int64_t> speedSamples;
    int32_t speedSeconds = 0;  // samples since bytes began, up to six: the average's divisor
    std::wstring progressText;
    const ProgressTip* currentTip = nullptr;

private:
    std::vector<std::unique_ptr<ProgressTip>> tips_;
};
