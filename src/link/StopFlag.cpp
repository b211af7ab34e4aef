#include "link/StopFlag.h"

#include <algorithm>
#include <chrono>
#include <thread>

void CStopFlag::Wait(int nMs)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point tEnd = Clock::now() + std::chrono::milliseconds(nMs);
    for (Clock::time_point tNow = Clock::now(); tNow < tEnd && !StopRequested();
         tNow = Clock::now())
        std::this_thread::sleep_for(
            std::min<Clock::duration>(tEnd - tNow, std::chrono::milliseconds(kCheckMs)));
}
