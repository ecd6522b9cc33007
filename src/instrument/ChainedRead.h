// Message-based connections (VXI-11, USBTMC): a chained query's answers are read by the walk of
// every door (Instrument::ScanAnswer) over its messages one behind the other, so that the same
// bytes read the same way whatever brought them. The end of a message (END, EOM) stands for the
// end text where the message does not end with one outside its blocks (a transport that drops
// the final end text); a block that runs past its message goes on in the next, as on a stream.
// Messages are read until every answer the request awaits is in; the answer then holds exactly
// them, joined by ";" as one message would have brought them, and what came behind them is
// dropped. A chain short of answers is no answer, also when a message cannot be counted. A single
// answer is the first message whole; of a block's own line ends it keeps one, as on a stream.
// Either is handed on without its padding (ChainedAnswers.h).
#pragma once

#include "common/Failure.h"
#include "instrument/RequestBlock.h"
#include "transport/ChainedAnswers.h"

#include <algorithm>
#include <cstddef>
#include <string>

namespace InstrumentDefault {

// fnRead(DataBuffer& next, std::string& sError) reads one more message and returns its failure's
// kind (None: a whole message). Returns None when every answer the request awaits is in (or it
// awaits one). Otherwise the kind of the read that ended the reading, with its text in sError.
// iWhole counts the answers that came whole; the request's data holds them joined and behind
// them what came of the failed read, for the one place that shows a part.
template <class Read>
Failure::eKind ReadChainedMessages(uRequest& request, Read fnRead, std::size_t& iWhole, std::string& sError) {
    iWhole = 0;
    DataBuffer& answer = request.requestData;
    const std::string& sEnd = request.sTermination;
    const Instrument::uBlockEnds& blockEnds = request.blockEnds;
    if (request.iAnswers < 2) {
        // The first message whole, but for the line ends of a block's own beyond its first.
        const Instrument::uAnswerScan found =
            Instrument::ScanAnswer(answer.data(), answer.size(), sEnd, request.eBlockUnit, 1, blockEnds);
        if (found.iEnd == answer.size()) answer.setSize(found.iAnswerEnd);
        answer.setSize(
            Instrument::DropPadding(answer.data(), answer.size(), sEnd, request.eBlockUnit, blockEnds));
        return Failure::eKind::None;
    }
    const auto awaited = static_cast<std::size_t>(request.iAnswers);
    bool fAdded = false; // the answer ends with the end text that stands for the last message's END
    std::size_t iMessage = answer.size(); // the bytes of the last message
    Failure::eKind eFailed = Failure::eKind::None;
    for (;;) {
        Instrument::uAnswerScan found =
            Instrument::ScanAnswer(answer.data(), answer.size(), sEnd, request.eBlockUnit, awaited, blockEnds);
        if (found.iEnd == 0 && !found.fOpenBlock && (iMessage == 0 || found.iWholeEnd < answer.size()) &&
            answer.append(sEnd)) {
            fAdded = true;
            found = Instrument::ScanAnswer(answer.data(), answer.size(), sEnd, request.eBlockUnit, awaited, blockEnds);
        }
        iWhole = found.iWhole;
        if (found.iEnd > 0) {
            fAdded = fAdded && found.iAnswerEnd == answer.size();
            answer.setSize(found.iAnswerEnd);
            break;
        }
        DataBuffer next;
        eFailed = fnRead(next, sError);
        if (!answer.append(next.data(), next.size()) && eFailed == Failure::eKind::None) {
            eFailed = Failure::eKind::NoSpace;
            sError = "InstrumentDefault::SendRequest: The memory could not be reserved.";
        }
        if (eFailed != Failure::eKind::None) {
            fAdded = fAdded && next.empty();
            break;
        }
        iMessage = next.size();
        fAdded = false;
    }
    answer.setSize(
        Instrument::DropPadding(answer.data(), answer.size(), sEnd, request.eBlockUnit, blockEnds));
    answer.setSize(Instrument::JoinAnswers(answer.data(), answer.size(), sEnd, request.eBlockUnit, blockEnds));
    if (fAdded) answer.setSize(answer.size() - sEnd.size());
    return eFailed;
}

} // namespace InstrumentDefault
