#include "analysis/lot_text.h"

#include "analysis/analysis_settings.h"
#include "analysis/analysis_texts.h"
#include "data/record_text.h"

#include <algorithm>

namespace vyz::analysis {
namespace {

QString u(const TextPair& t, int lang) {
    return QString::fromUtf8(t.in(lang));
}

const TextPair* const QuantityNames[QuantityCount] = {
    &text::DensityName, &text::PorosityName, &text::CompactionName, &text::TemperatureName};
// Places after the point per quantity.
constexpr int Places[QuantityCount] = {2, 1, 1, 1};

QStringList summaryRow(const QString& name, const Summary& s, int places) {
    const QString none = QStringLiteral("-");
    if (s.n == 0) return {name, QStringLiteral("0"), none, none, none, none};
    return {name,
            QString::number(s.n),
            Number(s.mean, places),
            s.HasSpread() ? Number(s.sd, places + 1) : none,
            Number(s.min, places),
            Number(s.max, places)};
}

QStringList figureColumns(const QString& first, int lang) {
    return {first,
            u(text::Count, lang),
            u(text::Mean, lang),
            u(text::StdDev, lang),
            u(text::Min, lang),
            u(text::Max, lang)};
}

QString pwlReason(PwlStatus status, int lang) {
    switch (status) {
    case PwlStatus::TooFew:
        return u(text::PwlTooFew, lang);
    case PwlStatus::NoSpread:
        return u(text::PwlNoSpread, lang);
    case PwlStatus::Inverted:
        return u(text::PwlInverted, lang);
    case PwlStatus::Ok:
    case PwlStatus::NoLimit:
        break;
    }
    return {};
}

} // namespace

QString Number(double value, int places) {
    static const char* const pictures[] = {"#0", "#0.0", "#0.00", "#0.000"};
    return QString::fromStdString(FormatPicture(value, pictures[std::clamp(places, 0, 3)]));
}

QVector<TextBlock> DescribeLot(const LotStatistics& s, const QString& scope, int lang) {
    QVector<TextBlock> blocks;
    TextBlock figures;
    figures.heading = scope;
    const int counted = s.records - s.deleted;
    if (counted == 0) {
        figures.notes << u(text::NoRecords, lang);
    } else {
        figures.columns = figureColumns(u(text::Quantity, lang), lang);
        for (int q = 0; q < QuantityCount; ++q)
            figures.rows << summaryRow(u(*QuantityNames[q], lang), s.q[q], Places[q]);
        if (s.q[Density].n == 1) figures.notes << u(text::NoSpreadOfOne, lang);
    }
    if (s.deleted) figures.notes << u(text::DeletedLeftOut, lang).arg(s.deleted);
    if (s.noReference) figures.notes << u(text::NoReferenceLeftOut, lang).arg(s.noReference);
    if (s.damaged) figures.notes << u(text::DamagedLeftOut, lang).arg(s.damaged);
    blocks << figures;
    if (counted == 0) return blocks;

    TextBlock materials;
    materials.heading = u(text::ByMaterial, lang);
    materials.columns = {u(text::Material, lang), u(text::Records, lang),
                         u(text::DensityName, lang), u(text::PorosityName, lang),
                         u(text::CompactionName, lang)};
    for (const MaterialFigures& m : s.materials) {
        QString name = QString::fromUtf8(MaterialName(unsigned(m.material), lang));
        if (name.isEmpty()) name = u(text::NoMaterial, lang);
        auto meanOf = [](const Summary& q, int places) {
            return q.n ? Number(q.mean, places) : QStringLiteral("-");
        };
        materials.rows << QStringList{name, QString::number(m.records), meanOf(m.q[Density], 2),
                                      meanOf(m.q[Porosity], 1), meanOf(m.q[Compaction], 1)};
    }
    blocks << materials;

    TextBlock limits;
    limits.heading = u(text::LimitsHeading, lang);
    const Limits& l = s.limits;
    if (!l.Any()) {
        limits.notes << u(text::NoLimits, lang);
        blocks << limits;
        return blocks;
    }
    auto limitLine = [&](const TextPair& name, const std::optional<double>& v) {
        if (v) limits.notes << u(name, lang) + QStringLiteral(": ") + LimitText(*v);
    };
    limitLine(text::PorosityLowName, l.porosityLow);
    limitLine(text::PorosityHighName, l.porosityHigh);
    limitLine(text::CompactionLowName, l.compactionLow);
    limitLine(text::TemperatureLowName, l.temperatureLow);
    if (l.PorosityInverted()) limits.notes << u(text::PorosityInvertedNote, lang);
    if (s.judged)
        limits.notes << u(text::Within, lang)
                            .arg(s.passing)
                            .arg(s.judged)
                            .arg(Number(100.0 * s.passing / s.judged, 1));
    else
        limits.notes << u(text::NoneJudged, lang);
    if (s.unknown) limits.notes << u(text::UnknownCount, lang).arg(s.unknown);
    blocks << limits;

    TextBlock pwl;
    pwl.heading = u(text::PwlHeading, lang);
    pwl.columns = {u(text::Quantity, lang), u(text::Count, lang), u(text::QLow, lang),
                   u(text::QHigh, lang), u(text::Pwl, lang)};
    const std::optional<double> lows[QuantityCount] = {
        {}, l.porosityLow, l.compactionLow, l.temperatureLow};
    const std::optional<double> highs[QuantityCount] = {{}, l.porosityHigh, {}, {}};
    for (int q = Porosity; q < QuantityCount; ++q) {
        const Pwl& p = s.pwl[q];
        if (p.status == PwlStatus::NoLimit) continue;
        const QString none = QStringLiteral("-");
        if (p.status == PwlStatus::Ok)
            pwl.rows << QStringList{u(*QuantityNames[q], lang), QString::number(s.q[q].n),
                                    lows[q] ? Number(p.qLow, 2) : none,
                                    highs[q] ? Number(p.qHigh, 2) : none, Number(p.percent, 1)};
        else
            pwl.rows << QStringList{u(*QuantityNames[q], lang), QString::number(s.q[q].n), none,
                                    none, pwlReason(p.status, lang)};
    }
    if (!pwl.rows.isEmpty()) blocks << pwl;
    return blocks;
}

QString VerdictText(const ArchiveRecord& r, const RecordVerdict& v, const Limits& l, int lang) {
    if (v.verdict == Verdict::None) return {};
    if (v.verdict == Verdict::Pass) return u(text::PassTip, lang);
    const RecordValues values = ValuesOf(r);
    QStringList parts;
    auto value = [&](Quantity q) { return Number(values.value[q].value_or(0), 1); };
    if (v.failed & PorosityLowBit)
        parts << u(text::PorosityBelow, lang).arg(value(Porosity), LimitText(*l.porosityLow));
    if (v.failed & PorosityHighBit)
        parts << u(text::PorosityAbove, lang).arg(value(Porosity), LimitText(*l.porosityHigh));
    if (v.failed & CompactionLowBit)
        parts << u(text::CompactionBelow, lang).arg(value(Compaction), LimitText(*l.compactionLow));
    if (v.failed & TemperatureLowBit)
        parts << u(text::TemperatureBelow, lang)
                     .arg(value(Temperature), LimitText(*l.temperatureLow));
    QString out;
    if (!parts.isEmpty())
        out = u(text::FailTip, lang) + QLatin1Char(' ') + parts.join(QStringLiteral("; "));
    if (v.unchecked) {
        const bool noReference =
            (v.unchecked & (PorosityLowBit | PorosityHighBit | CompactionLowBit)) &&
            !HasReference(r);
        const QString why = noReference ? u(text::NoReference, lang) : u(text::NotANumber, lang);
        if (!out.isEmpty()) out += QLatin1Char('\n');
        out += u(text::UnknownTip, lang) + QLatin1Char(' ') + why;
    }
    return out;
}

} // namespace vyz::analysis
