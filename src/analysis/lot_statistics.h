// Lot statistics over archive records: density, porosity, compaction and temperature figures,
// their breakdown by material, acceptance limits with a verdict per record, and the percent
// within limits estimated by the quality-index method. Standard C++ only, no widgets.
#pragma once

#include "data/archive_record.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace vyz::analysis {

// Acceptance limits; each one is optional. Porosity and compaction in %, temperature in °C.
struct Limits {
    std::optional<double> porosityLow, porosityHigh, compactionLow, temperatureLow;

    bool Any() const { return porosityLow || porosityHigh || compactionLow || temperatureLow; }
    // Both porosity limits set with the lower one above the upper one: no value can pass, so the
    // pair is not used until it is corrected.
    bool PorosityInverted() const {
        return porosityLow && porosityHigh && *porosityLow > *porosityHigh;
    }
    bool operator==(const Limits&) const = default;
};

// The quantities a record carries.
enum Quantity { Density, Porosity, Compaction, Temperature, QuantityCount };

// Count, mean, sample standard deviation (n - 1), minimum and maximum of one quantity.
struct Summary {
    int n = 0;
    double mean = 0, sd = 0, min = 0, max = 0;
    bool HasSpread() const { return n >= 2; }
    void Add(double value);
    void Merge(const Summary& other);

private:
    double m2_ = 0; // sum of squared deviations from the running mean (Welford)
};

// Why a percent within limits has no value.
enum class PwlStatus {
    Ok,
    NoLimit,  // no limit is set for the quantity
    TooFew,   // fewer than 3 values: the estimate needs n >= 3
    NoSpread, // all values equal (s = 0): the quality index is not defined
    Inverted, // lower limit above the upper one
};

struct Pwl {
    PwlStatus status = PwlStatus::NoLimit;
    double qLow = 0, qHigh = 0; // quality indices of the limits that are set
    double percent = 0;         // 0..100
};

// The percent within limits by the quality-index method: Q = (mean - L) / s and (U - mean) / s,
// each turned into the estimated percent above L (below U) from the beta distribution for the
// sample size n; with both limits PWL = PWL_L + PWL_U - 100, not below 0.
Pwl PercentWithinLimits(const Summary& values, std::optional<double> low,
                        std::optional<double> high);
// The estimated percent on the good side of one limit for quality index q and sample size n >= 3.
double PercentOnGoodSide(double q, int n);

// A record's verdict against the limits.
enum class Verdict : uint8_t {
    None,    // no limits, or a deleted record
    Pass,    // within every limit it was checked against, and every limit could be checked
    Fail,    // outside at least one limit
    Unknown, // within the limits it could be checked against, but some could not be checked
};
// Bits of the limits a record fails or cannot be checked against.
enum LimitBit : unsigned {
    PorosityLowBit = 1,
    PorosityHighBit = 2,
    CompactionLowBit = 4,
    TemperatureLowBit = 8,
};
struct RecordVerdict {
    Verdict verdict = Verdict::None;
    unsigned failed = 0;    // LimitBit values
    unsigned unchecked = 0; // LimitBit values: no reference density or a value that is not a number
};

// The values of one record; nullopt where the record does not carry the quantity: porosity and
// compaction need a reference density, every quantity needs a finite value.
struct RecordValues {
    std::optional<double> value[QuantityCount];
};
RecordValues ValuesOf(const ArchiveRecord& record);
bool IsDeleted(const ArchiveRecord& record);
bool HasReference(const ArchiveRecord& record);
RecordVerdict Judge(const ArchiveRecord& record, const Limits& limits);

struct MaterialFigures {
    int material = 0; // index into the material names (0 also stands for indices beyond the table)
    int records = 0;
    std::array<Summary, QuantityCount> q;
};

struct LotStatistics {
    int records = 0;     // records looked at, deleted ones included
    int deleted = 0;     // left out
    int noReference = 0; // of the others: no reference density, so no porosity and compaction
    int damaged = 0;     // of the others: a value that is not a finite number, left out where used
    std::array<Summary, QuantityCount> q;
    std::vector<MaterialFigures> materials; // by ascending material index, present ones only

    Limits limits;
    int judged = 0;                     // records with a Pass or Fail verdict
    int passing = 0;                    // of those, within every limit
    int unknown = 0;                    // records that could not be checked against every limit
    std::array<Pwl, QuantityCount> pwl; // Density carries no limit
};

// Figures of records[0..count-1].
LotStatistics ComputeStatistics(const ArchiveRecord* records, int count, const Limits& limits);

} // namespace vyz::analysis
