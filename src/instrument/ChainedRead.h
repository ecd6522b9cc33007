// Message-based connections (VXI-11, USBTMC): the answers of a chained query are counted by the
// rule of every connection (Instrument::CountMessageAnswers), so that the same bytes read the
// same way whatever brought them: a block with its own line end followed by the other answers in
// the same message is whole, as it is on a stream. Answers that an instrument sent as messages
// of their own, each ended by END, are read on until every answer the request awaits is in, and
// the answer is joined by ";" as one message would have brought it.
#pragma once

#include "common/Failure.h"
#include "instrument/RequestBlock.h"
#include "transport/ChainedAnswers.h"

#include <cstddef>
#include <string>

namespace InstrumentDefault {

// fnRead(DataBuffer& next, std::string& sError) reads one more message and returns its failure's
// kind (None: a whole message). Returns None when every answer the request awaits is in (or it
// awaits one). Otherwise the kind of the read that ended the reading first (a time-out above
// all; BadAnswer for a message that brought nothing), with its text in sError: a chain short of
// answers is no answer. iWhole counts the answers that came whole; the request's data holds
// them joined and behind them what came of the failed read, for the one place that shows a part.
template <class Read>
Failure::eKind ReadChainedMessages(uRequest& request, Read fnRead, std::size_t& iWhole, std::string& sError) {
    iWhole = 0;
    if (request.iAnswers < 2) return Failure::eKind::None;
    DataBuffer& answer = request.requestData;
    const std::string& sEnd = request.sTermination;
    const auto awaited = static_cast<std::size_t>(request.iAnswers);
    Failure::eKind eFailed = Failure::eKind::None;
    for (;;) {
        if (!Instrument::CountMessageAnswers(answer.data(), answer.size(), sEnd, request.eBlockUnit, false, iWhole) ||
            iWhole >= awaited)
            break;
        DataBuffer next;
        eFailed = fnRead(next, sError);
        if (eFailed == Failure::eKind::None && next.empty()) {
            eFailed = Failure::eKind::BadAnswer;
            sError = "InstrumentDefault::SendRequest: A message without data came before every answer of the "
                     "chained query.";
        }
        // A message that did not end with a separator (END alone ended it) is closed by ";".
        const bool fClose = !next.empty() && !answer.empty() &&
                            !Instrument::EndsAtSeparator(answer.data(), answer.size(), sEnd, request.eBlockUnit);
        if (((fClose && !answer.append(";")) || !answer.append(next.data(), next.size())) &&
            eFailed == Failure::eKind::None) {
            eFailed = Failure::eKind::NoSpace;
            sError = "InstrumentDefault::SendRequest: The memory could not be reserved.";
        }
        if (eFailed != Failure::eKind::None) break;
    }
    answer.setSize(Instrument::JoinAnswers(answer.data(), answer.size(), sEnd, request.eBlockUnit));
    return eFailed;
}

} // namespace InstrumentDefault
