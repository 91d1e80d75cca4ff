#include "serial/autoresetevent.h"

#include <gtest/gtest.h>

TEST(AutoResetEvent, OneSetReleasesOneWait)
{
    CAutoResetEvent event("RS232StartRead");
    EXPECT_EQ("RS232StartRead", event.GetName());
    EXPECT_EQ(-1, event.Set());   // not created yet
    EXPECT_EQ(-1, event.Wait(0));
    ASSERT_EQ(0, event.Create());
    EXPECT_EQ(1, event.Wait(20));   // starts not signalled
    EXPECT_EQ(0, event.Set());
    EXPECT_EQ(0, event.Set());   // a second Set before the Wait changes nothing
    EXPECT_EQ(0, event.Wait(0));
    EXPECT_EQ(1, event.Wait(20));   // the Wait took the signal
    event.Close();
    EXPECT_FALSE(event.IsCreated());
}
