// The reply collector, driven as the bus I/O thread drives it: exchanges
// started with a drawn reply length, bytes arriving in drawn blocks, 30 ms
// ticks. At most 2048 bytes are kept; a reply completes on arrival once the
// expected count is there and ends with CR LF, on a tick once the count is
// there (three bytes at least), and by the eleventh tick after the first byte
// at the latest (CR LF: complete, else discard). A reply holds exactly the
// bytes that arrived since the last verdict or start, so nothing discarded
// reaches the next exchange.
#include "FuzzInput.h"

#include "link/ReplyCollector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    using Verdict = CReplyCollector::Verdict;
    CFuzzInput input(pData, nSize);
    CReplyCollector collector;
    int nExpected = collector.ExpectedLen();
    QByteArray arrived; // since the last start or verdict
    int nTicks = 0;     // since the first of those bytes
    while (!input.IsEmpty()) {
        Verdict verdict = Verdict::KeepWaiting;
        bool bFed = false;
        switch (input.Range(0, 3)) {
        case 0:
            nExpected = static_cast<int>(input.Bool() ? input.Range(0, 40) : input.Range(0, 3000));
            collector.Start(nExpected);
            arrived.clear();
            nTicks = 0;
            FUZZ_CHECK(!collector.IsTicking() && collector.Waiting().isEmpty());
            continue;
        case 1:
        case 2: {
            QByteArray bytes = input.Bool() ? input.BytesUpTo(40) : input.BytesUpTo(3000);
            if (bytes.isEmpty())
                continue; // the I/O thread feeds only what it read
            if (input.Bool())
                bytes += "\r\n";
            arrived += bytes;
            verdict = collector.Feed(bytes);
            bFed = true;
            break;
        }
        default: {
            const bool bTicking = !arrived.isEmpty();
            FUZZ_CHECK(collector.IsTicking() == bTicking);
            verdict = collector.Tick();
            if (!bTicking) {
                FUZZ_CHECK(verdict == Verdict::KeepWaiting);
                continue;
            }
            ++nTicks;
            FUZZ_CHECK(collector.Ticks() == nTicks);
            break;
        }
        }
        const QByteArray kept = arrived.left(CReplyCollector::kMaxReplyLen);
        FUZZ_CHECK(collector.Waiting() == kept);
        const bool bCount = kept.size() >= nExpected;
        const bool bCrLf = kept.endsWith("\r\n");
        if (bFed)
            FUZZ_CHECK((verdict == Verdict::Complete) == (bCount && bCrLf));
        else if (bCount)
            FUZZ_CHECK(verdict == (kept.size() >= 3 ? Verdict::Complete : Verdict::Discard));
        else if (nTicks < CReplyCollector::kPauseCount)
            FUZZ_CHECK(verdict == Verdict::KeepWaiting);
        else
            FUZZ_CHECK(verdict == (bCrLf ? Verdict::Complete : Verdict::Discard));
        FUZZ_CHECK(nTicks <= CReplyCollector::kPauseCount);
        if (verdict == Verdict::KeepWaiting)
            continue;
        FUZZ_CHECK(!collector.IsTicking());
        FUZZ_CHECK(collector.Take() == kept);
        FUZZ_CHECK(collector.Waiting().isEmpty() && collector.ExpectedLen() == nExpected);
        arrived.clear();
        nTicks = 0;
    }
    return 0;
}
