#include "RunResult.h"

#include <algorithm>
#include <limits>

double RunResult::minRate() const
{
    double lowest = std::numeric_limits<double>::max();
    for (const StationFigures& s : stations) {
        if (!s.hangs && !s.address.isEmpty())
            lowest = std::min(lowest, windowS > 0 ? double(s.pictures) / windowS : 0.0);
    }
    return lowest == std::numeric_limits<double>::max() ? 0 : lowest;
}

double RunResult::meanRate() const
{
    double sum = 0;
    int count = 0;
    for (const StationFigures& s : stations) {
        if (!s.hangs && !s.address.isEmpty()) {
            sum += windowS > 0 ? double(s.pictures) / windowS : 0.0;
            ++count;
        }
    }
    return count > 0 ? sum / count : 0;
}

double RunResult::grossCpuPerPictureMs() const
{
    return pictures > 0 ? double(cpuUs) / 1000.0 / double(pictures) : 0;
}

double RunResult::cpuPerPictureMs() const
{
    if (pictures <= 0)
        return 0;
    const double probeMs = std::max(0.0, idleProbeCpuMsPerS - idleCpuMsPerS) * windowS;
    return std::max(0.0, double(cpuUs) / 1000.0 - probeMs) / double(pictures);
}
