#include "instrument/ScreenCopy.h"

#include "instrument/InstrumentDefault.h"
#include "instrument/InstrumentTasks.h"
#include "instrument/ScreencopyAnswer.h"

#include <algorithm>

namespace InstrumentDefault {

bool GetScreencopy(uInstance& instance, int iWindow, const uTaskScreencopy& task, QImage& image, std::string& sError) {
    if (!instance.fConnected || !instance.pTransport) {
        sError = "InstrumentDefault::GetScreencopy: The instrument is not open.";
        return false;
    }
    const std::int64_t eModel = instance.uConnection.eModel;
    std::string sQuery;
    if (!ScreencopyAnswer::SelectQuery(instance.modelCommands, eModel, sQuery, sError)) return false;

    uRequest& request = instance.request;
    request.fSend = 1;
    request.sCommand = sQuery;
    request.data.release();
    request.fRequestData = 1;
    request.fVendorSpecific = 0;
    request.eWait = 0;
    const bool fSent = SendRequest(instance, iWindow, sError);
    // The answer is this copy's alone: it leaves the request block at every exchange.
    DataBuffer answer = std::move(request.requestData);
    request.requestData.release();
    if (!fSent) return false;

    const std::size_t iSize =
        request.fRequestFinished
            ? std::min(answer.size(), static_cast<std::size_t>(std::max<std::int64_t>(request.iRequestTransferred, 0)))
            : 0;
    request.iRequestTransferred = 0;
    return ScreencopyAnswer::AnswerToImage(answer.data(), iSize, eModel, task.eSize, task.eColor, task.eTitle, image,
                                           sError);
}

} // namespace InstrumentDefault
