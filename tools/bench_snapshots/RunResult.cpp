#include "RunResult.h"

#include <algorithm>
#include <vector>

double StationFigures::requestsPerAttempt() const
{
    return attempts > 0 && requests >= 0 ? double(requests) / double(attempts) : -1;
}

namespace {

std::vector<double> healthyRates(const RunResult& r)
{
    std::vector<double> rates;
    for (const StationFigures& s : r.stations) {
        if (!s.isDead() && !s.address.isEmpty())
            rates.push_back(r.windowS > 0 ? double(s.pictures) / r.windowS : 0.0);
    }
    std::sort(rates.begin(), rates.end());
    return rates;
}

} // namespace

double RunResult::minRate() const
{
    const std::vector<double> rates = healthyRates(*this);
    return rates.empty() ? 0 : rates.front();
}

double RunResult::medianRate() const
{
    const std::vector<double> rates = healthyRates(*this);
    if (rates.empty())
        return 0;
    const std::size_t middle = rates.size() / 2;
    return rates.size() % 2 == 1 ? rates[middle] : (rates[middle - 1] + rates[middle]) / 2;
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
