// Message-based connections (VXI-11, USBTMC): the answers of a chained query are counted by the
// rule of every connection (Instrument::CountMessageAnswers), so that the same bytes read the
// same way whatever brought them: a block with its own line end followed by the other answers in
// the same message is whole, as it is on a stream. Answers that an instrument sent as messages
// of their own, each ended by END, are read on until every answer the request awaits is in, and
// the answer is joined by ";" as one message would have brought it.
#pragma once

#include "instrument/RequestBlock.h"
#include "transport/ChainedAnswers.h"

#include <cstddef>
#include <string>

namespace InstrumentDefault {

// fnRead(DataBuffer& next, std::string& sError) reads one more message. A read that fails (a
// time-out above all) or brings nothing ends the reading with what came: each answer that is in
// came whole, and the answer's check finds the missing ones, as on the stream doors.
template <class Read> void ReadChainedMessages(uRequest& request, Read fnRead) {
    if (request.iAnswers < 2) return;
    DataBuffer& answer = request.requestData;
    const std::string& sEnd = request.sTermination;
    const auto awaited = static_cast<std::size_t>(request.iAnswers);
    for (;;) {
        std::size_t iFound = 0;
        if (!Instrument::CountMessageAnswers(answer.data(), answer.size(), sEnd, request.eBlockUnit, false, iFound) ||
            iFound >= awaited)
            break;
        DataBuffer next;
        std::string sIgnored;
        if (!fnRead(next, sIgnored) || next.empty()) break;
        // A message that did not end with a separator (END alone ended it) is closed by ";".
        if (!answer.empty() && !Instrument::EndsAtSeparator(answer.data(), answer.size(), sEnd, request.eBlockUnit) &&
            !answer.append(";"))
            break;
        if (!answer.append(next.data(), next.size())) break;
    }
    answer.setSize(Instrument::JoinAnswers(answer.data(), answer.size(), sEnd, request.eBlockUnit));
}

} // namespace InstrumentDefault
