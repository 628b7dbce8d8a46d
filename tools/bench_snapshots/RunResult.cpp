#include "RunResult.h"

#include <algorithm>
#include <cmath>

double StationFigures::requestsPerAttempt() const
{
    return attempts > 0 && requests >= 0 ? double(requests) / double(attempts) : -1;
}

Spread Spread::of(std::vector<qint64> ns)
{
    Spread s;
    s.samples = qint64(ns.size());
    if (ns.empty())
        return s;
    std::sort(ns.begin(), ns.end());
    const auto at = [&ns](double p) {
        const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * double(ns.size())));
        return double(ns[std::clamp<std::size_t>(rank, 1, ns.size()) - 1]) / 1000.0;
    };
    s.p50Us = at(50);
    s.p99Us = at(99);
    s.maxUs = at(100);
    return s;
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
