#include "analysis/lot_text.h"

#include "analysis/analysis_settings.h"
#include "analysis/analysis_texts.h"
#include "data/record_text.h"
#include "platform/text_string.h"

#include <algorithm>

namespace vyz::analysis {
namespace {

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
            Text(text::Count, lang),
            Text(text::Mean, lang),
            Text(text::StdDev, lang),
            Text(text::Min, lang),
            Text(text::Max, lang)};
}

QString pwlReason(PwlStatus status, int lang) {
    switch (status) {
    case PwlStatus::TooFew:
        return Text(text::PwlTooFew, lang);
    case PwlStatus::NoSpread:
        return Text(text::PwlNoSpread, lang);
    case PwlStatus::Inverted:
        return Text(text::PwlInverted, lang);
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
        figures.notes << Text(text::NoRecords, lang);
    } else {
        figures.columns = figureColumns(Text(text::Quantity, lang), lang);
        for (int q = 0; q < QuantityCount; ++q)
            figures.rows << summaryRow(Text(*QuantityNames[q], lang), s.q[q], Places[q]);
        if (s.q[Density].n == 1) figures.notes << Text(text::NoSpreadOfOne, lang);
    }
    if (s.deleted) figures.notes << Text(text::DeletedLeftOut, lang).arg(s.deleted);
    if (s.noReference) figures.notes << Text(text::NoReferenceLeftOut, lang).arg(s.noReference);
    if (s.damaged) figures.notes << Text(text::DamagedLeftOut, lang).arg(s.damaged);
    blocks << figures;
    if (counted == 0) return blocks;

    TextBlock materials;
    materials.heading = Text(text::ByMaterial, lang);
    materials.columns = {Text(text::Material, lang), Text(text::Records, lang),
                         Text(text::DensityName, lang), Text(text::PorosityName, lang),
                         Text(text::CompactionName, lang)};
    for (const MaterialFigures& m : s.materials) {
        QString name = QString::fromUtf8(MaterialName(unsigned(m.material), lang));
        if (name.isEmpty()) name = Text(text::NoMaterial, lang);
        auto meanOf = [](const Summary& q, int places) {
            return q.n ? Number(q.mean, places) : QStringLiteral("-");
        };
        materials.rows << QStringList{name, QString::number(m.records), meanOf(m.q[Density], 2),
                                      meanOf(m.q[Porosity], 1), meanOf(m.q[Compaction], 1)};
    }
    blocks << materials;

    TextBlock limits;
    limits.heading = Text(text::LimitsHeading, lang);
    const Limits& l = s.limits;
    if (!l.Any()) {
        limits.notes << Text(text::NoLimits, lang);
        blocks << limits;
        return blocks;
    }
    auto limitLine = [&](const TextPair& name, const std::optional<double>& v) {
        if (v) limits.notes << Text(name, lang) + QStringLiteral(": ") + LimitText(*v);
    };
    limitLine(text::PorosityLowName, l.porosityLow);
    limitLine(text::PorosityHighName, l.porosityHigh);
    limitLine(text::CompactionLowName, l.compactionLow);
    limitLine(text::TemperatureLowName, l.temperatureLow);
    if (l.PorosityInverted()) limits.notes << Text(text::PorosityInvertedNote, lang);
    if (s.judged)
        limits.notes << Text(text::Within, lang)
                            .arg(s.passing)
                            .arg(s.judged)
                            .arg(Number(100.0 * s.passing / s.judged, 1));
    else
        limits.notes << Text(text::NoneJudged, lang);
    if (s.unknown) limits.notes << Text(text::UnknownCount, lang).arg(s.unknown);
    blocks << limits;

    TextBlock pwl;
    pwl.heading = Text(text::PwlHeading, lang);
    pwl.columns = {Text(text::Quantity, lang), Text(text::Count, lang), Text(text::QLow, lang),
                   Text(text::QHigh, lang), Text(text::Pwl, lang)};
    const std::optional<double> lows[QuantityCount] = {
        {}, l.porosityLow, l.compactionLow, l.temperatureLow};
    const std::optional<double> highs[QuantityCount] = {{}, l.porosityHigh, {}, {}};
    for (int q = Porosity; q < QuantityCount; ++q) {
        const Pwl& p = s.pwl[q];
        if (p.status == PwlStatus::NoLimit) continue;
        const QString none = QStringLiteral("-");
        if (p.status == PwlStatus::Ok)
            pwl.rows << QStringList{Text(*QuantityNames[q], lang), QString::number(s.q[q].n),
                                    lows[q] ? Number(p.qLow, 2) : none,
                                    highs[q] ? Number(p.qHigh, 2) : none, Number(p.percent, 1)};
        else
            pwl.rows << QStringList{Text(*QuantityNames[q], lang), QString::number(s.q[q].n), none,
                                    none, pwlReason(p.status, lang)};
    }
    if (!pwl.rows.isEmpty()) blocks << pwl;
    return blocks;
}

QString VerdictText(const ArchiveRecord& r, const RecordVerdict& v, const Limits& l, int lang) {
    if (v.verdict == Verdict::None) return {};
    if (v.verdict == Verdict::Pass) return Text(text::PassTip, lang);
    const RecordValues values = ValuesOf(r);
    QStringList parts;
    auto value = [&](Quantity q) { return Number(values.value[q].value_or(0), 1); };
    if (v.failed & PorosityLowBit)
        parts << Text(text::PorosityBelow, lang).arg(value(Porosity), LimitText(*l.porosityLow));
    if (v.failed & PorosityHighBit)
        parts << Text(text::PorosityAbove, lang).arg(value(Porosity), LimitText(*l.porosityHigh));
    if (v.failed & CompactionLowBit)
        parts << Text(text::CompactionBelow, lang)
                     .arg(value(Compaction), LimitText(*l.compactionLow));
    if (v.failed & TemperatureLowBit)
        parts << Text(text::TemperatureBelow, lang)
                     .arg(value(Temperature), LimitText(*l.temperatureLow));
    QString out;
    if (!parts.isEmpty())
        out = Text(text::FailTip, lang) + QLatin1Char(' ') + parts.join(QStringLiteral("; "));
    if (v.unchecked) {
        const bool noReference =
            (v.unchecked & (PorosityLowBit | PorosityHighBit | CompactionLowBit)) &&
            !HasReference(r);
        const QString why =
            noReference ? Text(text::NoReference, lang) : Text(text::NotANumber, lang);
        if (!out.isEmpty()) out += QLatin1Char('\n');
        out += Text(text::UnknownTip, lang) + QLatin1Char(' ') + why;
    }
    return out;
}

} // namespace vyz::analysis
