#include "launcher/NoticeAnswer.h"

#include <algorithm>
#include <cstdio>
#include <json/json.h>
#include <memory>

#include "util/FileUtils.h"
#include "util/TextEncoding.h"

const wchar_t kLauncherPackageName[] = L"com.halvek.drel.pc.talmo";

namespace {

// The answer is three levels deep; JsonCpp reads nesting by recursion, on the
// request's worker thread.
const int kMaxJsonDepth = 64;

// False for anything that is not one JSON value within the depth limit.
bool ParseJsonAnswer(const std::string& bytes, Json::Value* root) {
    Json::CharReaderBuilder builder;
    builder["stackLimit"] = kMaxJsonDepth;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    // JsonCpp reports a too-deep answer by throwing, not by its result; on the
    // worker thread that would end the process.
    try {
        return reader->parse(bytes.data(), bytes.data() + bytes.size(), root, &errors);
    } catch (const Json::Exception&) {
        return false;
    }
}

}  // namespace

NoticeRequestInfo MakeNoticeRequestInfo(const std::wstring& deviceId, const std::wstring& modulePath) {
    int32_t v[4] = {0, 0, 0, 0};
    GetFileVersion(modulePath, v);
    wchar_t version[64];
    std::swprintf(version, 64, L"%d.%d.%d.%d", v[0], v[1], v[2], v[3]);
    return NoticeRequestInfo{deviceId, L"0", kLauncherPackageName, version};
}

std::wstring FormatNoticeBody(const NoticeRequestInfo& info, int64_t now) {
    wchar_t time[32];
    std::swprintf(time, 32, L"%I64d", static_cast<long long>(now));
    return L"{\"packagename\":\"" + info.packageName + L"\",\"version\":\"" + info.version +
           L"\",\"deviceID\":\"" + info.deviceId + L"\",\"language\":\"" + info.language +
           L"\",\"resdata\":[{\"type\":\"pkg\",\"md5\":\"default_md5\"}],\"t\":\"" + time + L"\"}";
}

RequestNoticeResult ParseNoticeAnswer(const std::string& body, int32_t resultCode, std::vector<std::wstring>* listUrls) {
    listUrls->clear();
    if (resultCode != 200) return NoticeRequestFailed;

    // The text processor already drops a byte-order mark; one that reaches here
    // anyway must not make a good answer unreadable.
    std::string raw = body.compare(0, 3, "\xEF\xBB\xBF") == 0 ? body.substr(3) : body;
    std::string bytes = TextToAnsi(ReceivedBytesToText(raw));

    Json::Value root;
    if (!ParseJsonAnswer(bytes, &root)) return NoticeParseFailed;
    // Answers of another shape than expected are read defensively: JsonCpp
    // throws on member access of a non-object, which must never end the launcher.
    if (!root.isObject()) return NoticeParseFailed;
    const Json::Value& resdata = root["resdata"];
    if (resdata.isNull()) return NoticeParseFailed;
    if (!resdata.isArray()) return NoticeParseFailed;
    if (resdata.size() < 1) return NoticeNoAddress;

    std::vector<std::wstring> found;
    for (Json::ArrayIndex i = 0; i < resdata.size(); ++i) {
        const Json::Value& entry = resdata[i];
        if (!entry.isObject()) continue;
        const Json::Value& type = entry["Type"];
        const Json::Value& address = entry["URL"];
        if (!type.isString() || !address.isString()) continue;
        if (std::string(type.asCString()) != "pkg") continue;
        found.push_back(AnsiToText(address.asCString()));
    }
    // The last entry is the primary: launchers have always taken it, so an
    // empty one means no address, whatever came before it.
    if (found.empty() || found.back().empty()) return NoticeNoAddress;
    listUrls->push_back(found.back());
    for (const std::wstring& url : found) {
        if (!url.empty() && std::find(listUrls->begin(), listUrls->end(), url) == listUrls->end()) {
            listUrls->push_back(url);
        }
    }
    return NoticeOk;
}
