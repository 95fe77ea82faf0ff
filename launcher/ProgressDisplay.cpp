#include "launcher/ProgressDisplay.h"

#include <cstdio>
#include "launcher/ProgressFormat.h"

namespace {
const int kSpeedSamples = 6;
}

void ProgressDisplay::BuildTips() {
    if (!tips_.empty()) return;
    const ProgressTip table[] = {
        {L"美女指挥官正在为您调配游戏资源...", 0, 0.0f, 0.8f},
        {L"正在加载精致战舰模型", 0, 0.8f, 1.0f},
        {L"正在加载精致战舰模型", 1, 0.0f, 1.0f},
        {L"正在加载世界各大海域资源", 2, 0.0f, 1.0f},
    };
    for (const ProgressTip& tip : table) tips_.push_back(std::make_unique<ProgressTip>(tip));
}

void ProgressDisplay::ResetProgressCounters() {
    lastDownloaded = downloaded = total = 0;
    downloading = false;
    if (speedSamples.size() < kSpeedSamples) {
        speedSamples.insert(speedSamples.end(), kSpeedSamples, 0);
    } else {
        for (int i = 0; i < kSpeedSamples; ++i) speedSamples[i] = 0;
    }
    speedSeconds = 0;
}

void ProgressDisplay::RestartSpeed() {
    lastDownloaded = downloaded;
    for (int64_t& sample : speedSamples) sample = 0;
    speedSeconds = 0;
}

void ProgressDisplay::ApplyDownloadProgress(int64_t d, int64_t t) {
    // What is shown never passes the total, whatever a report says.
    if (t > 0 && d > t) d = t;
    // Without a total there is no fraction; the bar stays empty rather than
    // showing a value that is not a number.
    float x = t > 0 ? static_cast<float>(static_cast<double>(d) / static_cast<double>(t)) * 2 : 0.0f;
    downloaded = d;
    total = t;
    if (x > 1) {
        if (phase == 0) phase = 1;
        x = (x - 1) * 1.3f;
        if (x > 1) {
            if (phase == 1) phase = 2;
            x = (x - 1) / 0.29999995f;
        }
    }
    progress = x;
    progressText = FormatSizeSigned(downloaded) + L"/" + FormatSizeSigned(total);
}

void ProgressDisplay::SelectTip(int32_t tipPhase, float p) {
    auto matches = [&](const ProgressTip* tip) {
        return tip->phase == tipPhase && tip->from <= p && p < tip->to;
    };
    if (currentTip && matches(currentTip)) return;
    for (const auto& tip : tips_) {
        if (matches(tip.get())) {
            currentTip = tip.get();
            return;
        }
    }
}

float ProgressDisplay::BarFraction() const {
    if (!(progress > 0)) return 0.0f;  // also a value that is not a number
    return progress > 1 ? 1.0f : progress;
}

bool ProgressDisplay::UpdateSpeedLine(std::wstring* statusText, std::wstring* speedText) {
    SelectTip(phase, progress);
    if (!downloading || !currentTip) return false;
    if (speedSamples.size() < kSpeedSamples) speedSamples.resize(kSpeedSamples, 0);

    const int64_t sample = downloaded - lastDownloaded;
    speedSamples[sampleIndex] = sample;
    sampleIndex = (sampleIndex + 1) % kSpeedSamples;
    // Averaged over the seconds since bytes began: early in a download the
    // seconds before the first byte would show a fraction of the real rate.
    if ((speedSeconds > 0 || sample != 0) && speedSeconds < kSpeedSamples) ++speedSeconds;
    int64_t sum = 0;
    for (int i = 0; i < kSpeedSamples; ++i) sum += speedSamples[i];
    int64_t speed = speedSeconds > 0 ? sum / speedSeconds : 0;

    wchar_t buffer[256];
    if (speed != 0 && total > 0) {
        lastDownloaded = downloaded;
        int64_t left = total > downloaded ? total - downloaded : 0;
        int32_t seconds = static_cast<int32_t>(left / speed);
        std::swprintf(buffer, 256, L"速度:%ls/秒 预计:%ls 下载进度:%ls",
                      FormatSize(static_cast<uint64_t>(speed)).c_str(), FormatDuration(seconds).c_str(),
                      progressText.c_str());
    } else {
        // No bytes in the last six seconds: say so, with what has arrived so far.
        std::swprintf(buffer, 256, L"速度:%dKB/秒 下载进度:%ls", 0, progressText.c_str());
    }
    *statusText = currentTip->text;
    *speedText = buffer;
    return true;
}
