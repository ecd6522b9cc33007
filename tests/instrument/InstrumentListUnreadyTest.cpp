// The instrument list before the module was made ready (a program of its own, so that nothing
// else made it ready first).
#include "instrument/Instrument.h"

#include <gtest/gtest.h>

#include <vector>

TEST(InstrumentListUnreadyTest, NothingIsListedOrReleasedBeforeTheModuleIsReady) {
    std::vector<InstrumentObject> list(2);
    EXPECT_FALSE(Instrument::CopyInstrumentList(list));
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(Instrument::FindExisting(uTaskPrepare{}), nullptr);
    std::string sError;
    EXPECT_FALSE(Instrument::ReleaseAll(true, 0, sError));
    EXPECT_TRUE(Instrument::InitModuleInstrument(sError));
    EXPECT_TRUE(Instrument::CopyInstrumentList(list));
    EXPECT_TRUE(list.empty());
}
