// Message-based connections (VXI-11, USBTMC): the answers of a chained query that an instrument
// sent as messages of their own, each ended by END, are read on until the answer holds every
// answer the request awaits, and joined by ";" as one message would have brought them.
#pragma once

#include "instrument/RequestBlock.h"
#include "transport/ChainedAnswers.h"

#include <cstddef>
#include <string>

namespace InstrumentDefault {

// fnRead(DataBuffer& next, std::string& sError) reads one more message. A read that fails (a
// time-out above all) ends the reading with what came: the answer's check finds it short.
template <class Read> void ReadChainedMessages(uRequest& request, Read fnRead) {
    if (request.iAnswers < 2) return;
    DataBuffer& answer = request.requestData;
    for (;;) {
        std::size_t iSize = answer.size();
        const bool fLineEnd = iSize > 0 && answer.data()[iSize - 1] == '\n';
        std::size_t iFound = 0;
        if (!Instrument::CountAnswers(answer.data(), iSize - (fLineEnd ? 1 : 0), std::string(), request.eBlockUnit,
                                      iFound) ||
            iFound >= static_cast<std::size_t>(request.iAnswers))
            return;
        DataBuffer next;
        std::string sIgnored;
        if (!fnRead(next, sIgnored) || next.empty()) return;
        // The message's end (when the connection leaves it in the answer) becomes the separator.
        if (fLineEnd) answer.setSize(--iSize);
        if (!answer.append(";") || !answer.append(next.data(), next.size())) return;
    }
}

} // namespace InstrumentDefault
