#include "Samples.h"

#include <algorithm>
#include <cmath>

namespace Samples {

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double worst(const QList<double>& values)
{
    return values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end());
}

double percentile(QList<double> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto rank = qsizetype(std::ceil(p / 100.0 * double(values.size())));
    return values[std::clamp<qsizetype>(rank, 1, values.size()) - 1];
}

QList<double> toMs(const std::vector<qint64>& microseconds)
{
    QList<double> ms;
    ms.reserve(qsizetype(microseconds.size()));
    for (const qint64 us : microseconds)
        ms.append(double(us) / 1000.0);
    return ms;
}

} // namespace Samples
