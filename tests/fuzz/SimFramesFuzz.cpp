// The simulator's frame splitter, fed blocks at drawn time points, and the
// bus of modules behind it. Every frame taken is a well-formed piece of the
// stream, taken in order; what the splitter keeps stays bounded; every reply
// of the module model is a line.
#include "FuzzInput.h"

#include "sim/SimBus.h"
#include "sim/SimFrameSplitter.h"

#include <chrono>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    using namespace std::chrono_literals;
    CFuzzInput input(pData, nSize);
    SimOptions options;
    options.m_arrAddresses = {0, 1, 17, 99};
    options.m_nCaptureDelayMs = 0;
    CSimBus bus(options);
    CSimFrameSplitter splitter;
    auto tNow = CSimFrameSplitter::Clock::now();
    QByteArray stream;
    qsizetype nStreamPos = 0; // where the last frame taken ended
    while (!input.IsEmpty()) {
        tNow += std::chrono::milliseconds(input.Range(0, 150));
        const QByteArray block = input.BytesUpTo(96);
        stream += block;
        const auto frames = splitter.Feed(block, tNow);
        FUZZ_CHECK(splitter.Pending().size() <= CSimFrameSplitter::kMaxPending);
        for (const CSimFrameSplitter::Frame& frame : frames) {
            const QByteArray& text = frame.m_text;
            FUZZ_CHECK(frame.m_nBytes == text.size());
            FUZZ_CHECK(text.size() >= 5 && text[0] == 'S' && text[3] == ';' && text.endsWith(';'));
            FUZZ_CHECK(text.mid(1, 2).toInt() == frame.m_nAddress);
            FUZZ_CHECK(!frame.m_commands.isEmpty());
            FUZZ_CHECK(frame.m_commands.join(';') + ';' == text.mid(4));
            for (const QByteArray& command : frame.m_commands)
                FUZZ_CHECK(command.size() <= CSimFrameSplitter::kMaxCommandLen);
            const qsizetype nAt = stream.indexOf(text, nStreamPos);
            FUZZ_CHECK(nAt >= 0);
            nStreamPos = nAt + text.size();
        }

        const auto replies = bus.Feed(block, tNow);
        FUZZ_CHECK(replies.size() <= static_cast<size_t>(frames.size()));
        for (const CSimBus::Reply& reply : replies) {
            FUZZ_CHECK(reply.m_bytes.endsWith("\r\n"));
            FUZZ_CHECK(reply.m_bytes.size() <= 512);
        }
    }
    return 0;
}
