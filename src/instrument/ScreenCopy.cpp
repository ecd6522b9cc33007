#include "instrument/ScreenCopy.h"

#include "instrument/InstrumentDefault.h"
#include "instrument/InstrumentTasks.h"
#include "instrument/ScreencopyAnswer.h"

namespace InstrumentDefault {

bool GetScreencopy(uInstance& instance, int iWindow, const uTaskScreencopy& task, QImage& image, std::string& sError) {
    if (!instance.fConnected || !instance.pTransport) {
        sError = "InstrumentDefault::GetScreencopy: The instrument is not open.";
        return false;
    }
    const std::int64_t eModel = instance.uConnection.eModel;
    std::string sQuery;
    if (!ScreencopyAnswer::SelectQuery(instance.modelCommands, eModel, sQuery, sError)) return false;

    instance.request.sCommand = sQuery;
    DataBuffer answer;
    std::size_t iSize = 0;
    if (!SendQuery(instance, iWindow, answer, iSize, sError)) return false;
    return ScreencopyAnswer::AnswerToImage(answer.data(), iSize, eModel, task.eSize, task.eColor, task.eTitle, image,
                                           sError);
}

} // namespace InstrumentDefault
