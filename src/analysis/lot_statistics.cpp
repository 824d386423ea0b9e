#include "analysis/lot_statistics.h"

#include "data/record_text.h"

#include <algorithm>
#include <boost/math/special_functions/beta.hpp>
#include <cmath>

namespace vyz::analysis {

void Summary::Add(double value) {
    // Welford's running mean and sum of squares: no loss of precision on values of similar size.
    ++n;
    if (n == 1) {
        mean = min = max = value;
        m2_ = 0;
    } else {
        const double delta = value - mean;
        mean += delta / n;
        m2_ += delta * (value - mean);
        min = std::min(min, value);
        max = std::max(max, value);
    }
    sd = n >= 2 ? std::sqrt(std::max(m2_, 0.0) / (n - 1)) : 0;
}

void Summary::Merge(const Summary& other) {
    if (other.n == 0) return;
    if (n == 0) {
        *this = other;
        return;
    }
    const int total = n + other.n;
    const double delta = other.mean - mean;
    m2_ += other.m2_ + delta * delta * double(n) * other.n / total;
    mean += delta * other.n / total;
    min = std::min(min, other.min);
    max = std::max(max, other.max);
    n = total;
    sd = std::sqrt(std::max(m2_, 0.0) / (n - 1));
}

double PercentOnGoodSide(double q, int n) {
    // The minimum-variance unbiased estimate of the normal proportion beyond a limit: the
    // regularised incomplete beta function I_x(n/2 - 1, n/2 - 1) at x = 1/2 + Q sqrt(n) / (2(n-1)),
    // held to 0..1 (Q beyond +-(n-1)/sqrt(n) means every value of such a sample is on one side).
    const double x = std::clamp(0.5 + q * std::sqrt(double(n)) / (2.0 * (n - 1)), 0.0, 1.0);
    if (x <= 0) return 0;
    if (x >= 1) return 100;
    const double a = n / 2.0 - 1;
    return 100 * boost::math::ibeta(a, a, x);
}

Pwl PercentWithinLimits(const Summary& values, std::optional<double> low,
                        std::optional<double> high) {
    Pwl out;
    if (!low && !high) return out;
    if (low && high && *low > *high) {
        out.status = PwlStatus::Inverted;
        return out;
    }
    if (values.n < 3) {
        out.status = PwlStatus::TooFew;
        return out;
    }
    // A spread that vanishes next to the mean is the rounding noise of equal values.
    if (!(values.sd > 1e-12 * std::max(1.0, std::fabs(values.mean)))) {
        out.status = PwlStatus::NoSpread;
        return out;
    }
    double percent = 100;
    if (low) {
        out.qLow = (values.mean - *low) / values.sd;
        percent = PercentOnGoodSide(out.qLow, values.n);
    }
    if (high) {
        out.qHigh = (*high - values.mean) / values.sd;
        const double above = PercentOnGoodSide(out.qHigh, values.n);
        percent = low ? std::max(0.0, percent + above - 100) : above;
    }
    out.status = PwlStatus::Ok;
    out.percent = percent;
    return out;
}

bool IsDeleted(const ArchiveRecord& r) {
    return r.Second == DeletedMark;
}

bool HasReference(const ArchiveRecord& r) {
    return std::isfinite(r.RefDensity) && r.RefDensity > 0;
}

RecordValues ValuesOf(const ArchiveRecord& r) {
    RecordValues v;
    const bool density = std::isfinite(r.Density);
    if (density) v.value[Density] = r.Density;
    if (density && HasReference(r)) {
        // The porosity the table shows, by the table's own rule.
        v.value[Porosity] = static_cast<double>(vyz::Porosity(r.Density, r.RefDensity));
        const double compaction = double(r.Density) / double(r.RefDensity) * 100.0;
        if (std::isfinite(compaction)) v.value[Compaction] = compaction;
    }
    if (std::isfinite(r.Temperature)) v.value[Temperature] = r.Temperature;
    return v;
}

namespace {

// A record is judged by the value the operator reads: porosity and temperature as the table shows
// them, compaction as the panel does, all to one place after the point. So a row reading "2,0"
// passes a lower limit of 2,0 even when the unrounded quotient lies a hair below it.
double shown(double value) {
    return std::round(value * 10) / 10;
}

RecordVerdict judge(const RecordValues& v, const Limits& limits) {
    RecordVerdict out;
    if (!limits.Any()) return out;
    auto check = [&](const std::optional<double>& value, const std::optional<double>& limit,
                     bool lower, unsigned bit) {
        if (!limit) return;
        if (!value)
            out.unchecked |= bit;
        else if (lower ? shown(*value) < *limit : shown(*value) > *limit)
            out.failed |= bit;
    };
    if (!limits.PorosityInverted()) {
        check(v.value[Porosity], limits.porosityLow, true, PorosityLowBit);
        check(v.value[Porosity], limits.porosityHigh, false, PorosityHighBit);
    }
    check(v.value[Compaction], limits.compactionLow, true, CompactionLowBit);
    check(v.value[Temperature], limits.temperatureLow, true, TemperatureLowBit);
    if (out.failed)
        out.verdict = Verdict::Fail;
    else if (out.unchecked)
        out.verdict = Verdict::Unknown;
    else if (limits.PorosityInverted() && !limits.compactionLow && !limits.temperatureLow)
        out.verdict = Verdict::None; // nothing usable to check against
    else
        out.verdict = Verdict::Pass;
    return out;
}

} // namespace

RecordVerdict Judge(const ArchiveRecord& record, const Limits& limits) {
    if (IsDeleted(record)) return {};
    return judge(ValuesOf(record), limits);
}

LotStatistics ComputeStatistics(const ArchiveRecord* records, int count, const Limits& limits) {
    LotStatistics s;
    s.limits = limits;
    std::array<MaterialFigures, MaterialCount> byMaterial{};
    for (int i = 0; i < count; ++i) {
        const ArchiveRecord& r = records[i];
        ++s.records;
        if (IsDeleted(r)) {
            ++s.deleted;
            continue;
        }
        const RecordValues v = ValuesOf(r);
        if (!HasReference(r)) ++s.noReference;
        if (!std::isfinite(r.Density) || !std::isfinite(r.RefDensity) ||
            !std::isfinite(r.Temperature))
            ++s.damaged;
        const unsigned material = r.MaterialIndex < MaterialCount ? r.MaterialIndex : 0;
        MaterialFigures& m = byMaterial[material];
        ++m.records;
        for (int q = 0; q < QuantityCount; ++q)
            if (v.value[q]) m.q[q].Add(*v.value[q]);
        const RecordVerdict verdict = judge(v, limits);
        if (verdict.verdict == Verdict::Pass || verdict.verdict == Verdict::Fail) ++s.judged;
        if (verdict.verdict == Verdict::Pass) ++s.passing;
        if (verdict.verdict == Verdict::Unknown) ++s.unknown;
    }
    for (int material = 0; material < MaterialCount; ++material) {
        if (byMaterial[material].records == 0) continue;
        byMaterial[material].material = material;
        for (int q = 0; q < QuantityCount; ++q)
            s.q[q].Merge(byMaterial[material].q[q]);
        s.materials.push_back(byMaterial[material]);
    }
    if (!limits.PorosityInverted())
        s.pwl[Porosity] =
            PercentWithinLimits(s.q[Porosity], limits.porosityLow, limits.porosityHigh);
    else
        s.pwl[Porosity].status = PwlStatus::Inverted;
    s.pwl[Compaction] = PercentWithinLimits(s.q[Compaction], limits.compactionLow, {});
    s.pwl[Temperature] = PercentWithinLimits(s.q[Temperature], limits.temperatureLow, {});
    return s;
}

} // namespace vyz::analysis
