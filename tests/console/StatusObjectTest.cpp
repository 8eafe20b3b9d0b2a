#include "console/StatusObject.h"
#include "common/JsonWriter.h"

#include <gtest/gtest.h>

namespace brindle::test
{

TEST (StatusObject, TwelveValuesGoOutInOrderEachAsItsKind)
{
    StreamStatus status;
    status.running = true;
    status.error = "Could not open the input device.";
    status.duplex = false;
    status.inputRate = 44100.0;
    status.outputRate = 48000.0;
    status.bufferSize = 480;
    status.latencyMs = 50.625;
    status.fillFrames = 1452;
    status.targetFrames = 1440;
    status.correctionPpm = -12.5;
    status.dropouts = 1234567;
    status.overruns = 2;
    status.inputFrames = 99999;         // these three stay native
    status.inputChannels = 2;
    status.inputBufferSize = 441;

    const auto object = makeStatusObject (status);

    EXPECT_EQ (toJson (object, JsonLayout::singleLine),
               R"({"running": true, "duplex": false, "error": "Could not open the input device.", )"
               R"("inputRate": 44100.0, "outputRate": 48000.0, "bufferSize": 480, "latencyMs": 50.625, )"
               R"("fillFrames": 1452, "targetFrames": 1440, "correctionPpm": -12.5, )"
               R"("dropouts": 1234567.0, "overruns": 2.0})");
    EXPECT_TRUE (object["dropouts"].isDouble()) << "a 64-bit count leaves as a number the page can read";
    EXPECT_TRUE (object["overruns"].isDouble());
}

TEST (StatusObject, ARouterThatNeverRanReadsAsZeros)
{
    EXPECT_EQ (toJson (makeStatusObject (StreamStatus()), JsonLayout::singleLine),
               R"({"running": false, "duplex": false, "error": "", "inputRate": 0.0, "outputRate": 0.0, )"
               R"("bufferSize": 0, "latencyMs": 0.0, "fillFrames": 0, "targetFrames": 0, "correctionPpm": 0.0, )"
               R"("dropouts": 0.0, "overruns": 0.0})");
}

} // namespace brindle::test
