#include "support/FakeHid.h"

#include "device/RawHidSession.h"

#include <gtest/gtest.h>

#include <chrono>

namespace keyglass::test {
namespace {

using namespace std::chrono_literals;

TEST(RawHidSession, RequestsAreCutOrPaddedTo32Bytes)
{
    ScriptedBackend backend;
    backend.respond = [](const RawHidReport& r) { return Bytes(r.begin(), r.end()); };
    auto session = RawHidSession::open(backend, 0x1A86, 0xFE16);
    ASSERT_TRUE(session);

    Bytes longRequest(40);
    for (std::size_t i = 0; i < longRequest.size(); ++i)
        longRequest[i] = static_cast<std::uint8_t>(i + 1);
    session->exchange(longRequest);
    session->exchange({0x01, 0x02});

    ASSERT_EQ(backend.requests.size(), 2u);
    EXPECT_EQ(Bytes(backend.requests[0].begin(), backend.requests[0].end()),
              Bytes(longRequest.begin(), longRequest.begin() + 32));
    EXPECT_EQ(Bytes(backend.requests[1].begin(), backend.requests[1].end()), bytesOf({0x01, 0x02}));
    EXPECT_EQ(session->exchangeCount(), 2);
}

TEST(RawHidSession, SilentDeviceTimesOutAfterTheFullTimeoutAndNotMuchLater)
{
    ScriptedBackend backend;
    auto session = RawHidSession::open(backend, 0x1A86, 0xFE16);
    ASSERT_TRUE(session);
    const TimePoint start = backend.now();
    EXPECT_FALSE(session->exchange({0x01}));
    const auto waited = backend.now() - start;
    EXPECT_GE(waited, 250ms);
    EXPECT_LE(waited, 255ms);
    for (const auto slice : backend.readTimeouts)
        EXPECT_LE(slice, std::chrono::microseconds(5000)) << "the wait wakes at least every 5 ms";
}

TEST(RawHidSession, AnAnswerIsTakenAsSoonAsItArrives)
{
    ScriptedBackend backend;
    backend.latency = 12ms;
    backend.respond = [](const RawHidReport& r) { return Bytes(r.begin(), r.end()); };
    auto session = RawHidSession::open(backend, 0x1A86, 0xFE16);
    ASSERT_TRUE(session);
    const TimePoint start = backend.now();
    EXPECT_TRUE(session->exchange({0x01}));
    EXPECT_EQ(backend.now() - start, 12ms);
    EXPECT_TRUE(session->exchange({0x01}, 13ms)) << "an answer just before the deadline counts";
    EXPECT_EQ(backend.now() - start, 24ms);
}

TEST(RawHidSession, AnswersAreReturnedWholeWhateverTheirLength)
{
    ScriptedBackend backend;
    Bytes answer;
    backend.respond = [&](const RawHidReport&) { return answer; };
    auto session = RawHidSession::open(backend, 0x1A86, 0xFE16);
    ASSERT_TRUE(session);
    answer = Bytes(64, 0xAB);
    EXPECT_EQ(session->exchange({0x01}), answer);
    answer = Bytes{};
    const auto empty = session->exchange({0x01});
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

TEST(RawHidSession, StaleReportsQueuedBeforeTheSendAreNeverTakenAsTheAnswer)
{
    ScriptedBackend backend;
    backend.respond = [](const RawHidReport& r) { return Bytes(r.begin(), r.end()); };
    auto session = RawHidSession::open(backend, 0x1A86, 0xFE16);
    ASSERT_TRUE(session);
    backend.queueStale(bytesOf({0x04, 0, 0, 0, 0x51, 0x00}));
    backend.queueStale(bytesOf({0x04, 0, 0, 1, 0x52, 0x00}));
    const auto answer = session->exchange({0x11});
    ASSERT_TRUE(answer);
    EXPECT_EQ((*answer)[0], 0x11);
    EXPECT_TRUE(backend.pending().empty());
}

TEST(RawHidSession, LateAnswerOfATimedOutRequestIsDroppedByTheNextExchange)
{
    ScriptedBackend backend;
    backend.latency = 300ms; // longer than the timeout
    backend.respond = [](const RawHidReport& r) { return Bytes(r.begin(), r.end()); };
    auto session = RawHidSession::open(backend, 0x1A86, 0xFE16);
    ASSERT_TRUE(session);
    EXPECT_FALSE(session->exchange({0x01}));
    backend.advance(100ms); // the late answer to 0x01 has arrived by now
    backend.latency = 1ms;
    const auto answer = session->exchange({0x11});
    ASSERT_TRUE(answer);
    EXPECT_EQ((*answer)[0], 0x11);
}

TEST(RawHidSession, FailedWriteAndDisconnectEndTheExchangeAtOnce)
{
    ScriptedBackend backend;
    backend.respond = [](const RawHidReport& r) { return Bytes(r.begin(), r.end()); };
    auto session = RawHidSession::open(backend, 0x1A86, 0xFE16);
    ASSERT_TRUE(session);
    backend.failWrites = true;
    const TimePoint start = backend.now();
    EXPECT_FALSE(session->exchange({0x01}));
    EXPECT_EQ(backend.now(), start);

    backend.failWrites = false;
    backend.disconnectAfter = static_cast<int>(backend.requests.size());
    EXPECT_FALSE(session->exchange({0x01}));
    EXPECT_LT(backend.now() - start, 250ms);
}

TEST(RawHidSession, OpensOnlyTheRawHidInterfaceOfTheRightDeviceAndClosesItOnce)
{
    ScriptedBackend backend;
    backend.interfaces = {
        HidInterfaceInfo{"kbd", 0x1A86, 0xFE16, 0x01, 0x06, "", "", ""},
        HidInterfaceInfo{"other", 0x1A86, 0xFE17, RawHidUsagePage, RawHidUsage, "", "", ""},
    };
    EXPECT_FALSE(RawHidSession::open(backend, 0x1A86, 0xFE16));
    EXPECT_EQ(backend.opened, 0);

    backend.interfaces.push_back(HidInterfaceInfo{"raw", 0x1A86, 0xFE16, RawHidUsagePage, RawHidUsage, "", "", ""});
    {
        auto session = RawHidSession::open(backend, 0x1A86, 0xFE16);
        ASSERT_TRUE(session);
        session->close();
        session->close();
        EXPECT_FALSE(session->isOpen());
        EXPECT_FALSE(session->exchange({0x01}));
    }
    EXPECT_EQ(backend.opened, 1);
    EXPECT_EQ(backend.closed, 1);

    {
        auto session = RawHidSession::open(backend, 0x1A86, 0xFE16);
    }
    EXPECT_EQ(backend.closed, 2) << "the destructor closes a session left open";

    backend.refuseOpen = true;
    EXPECT_FALSE(RawHidSession::open(backend, 0x1A86, 0xFE16));
    EXPECT_EQ(backend.closed, 2);
}

} // namespace
} // namespace keyglass::test
