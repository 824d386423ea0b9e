#include "analysis/analysis_settings.h"

#include "platform/ini_file.h"

#include <cmath>

namespace vyz::analysis {
namespace {

constexpr char Section[] = "Analysis";
constexpr int Buffer = 40;

std::optional<double> readLimit(const char* key) {
    bool ok = false;
    return ParseLimit(QString::fromStdString(IniRead(Section, key, std::string(), Buffer)), &ok);
}

void writeLimit(const char* key, const std::optional<double>& value) {
    // The file keeps a decimal point, so it reads the same whatever the program's language.
    IniWrite(Section, key, value ? QString::number(*value, 'g', 15).toStdString() : std::string());
}

bool readFlag(const char* key, bool fallback) {
    const std::string v = IniRead(Section, key, std::string(fallback ? "Y" : "N"), Buffer);
    return !v.empty() && (v[0] == 'Y' || v[0] == 'y' || v[0] == '1');
}

} // namespace

std::optional<double> ParseLimit(const QString& text, bool* ok) {
    const QString t = text.trimmed();
    *ok = true;
    if (t.isEmpty()) return std::nullopt;
    QString dotted = t;
    dotted.replace(QLatin1Char(','), QLatin1Char('.'));
    const double v = dotted.toDouble(ok);
    if (!*ok || !std::isfinite(v)) {
        *ok = false;
        return std::nullopt;
    }
    return v;
}

QString LimitText(double value) {
    return QString::number(value, 'g', 15).replace(QLatin1Char('.'), QLatin1Char(','));
}

Limits ReadLimits() {
    Limits l;
    l.porosityLow = readLimit("PorosityLow");
    l.porosityHigh = readLimit("PorosityHigh");
    l.compactionLow = readLimit("CompactionLow");
    l.temperatureLow = readLimit("TemperatureLow");
    return l;
}

void WriteLimits(const Limits& l) {
    writeLimit("PorosityLow", l.porosityLow);
    writeLimit("PorosityHigh", l.porosityHigh);
    writeLimit("CompactionLow", l.compactionLow);
    writeLimit("TemperatureLow", l.temperatureLow);
}

bool ReadPanelVisible() {
    return readFlag("PanelVisible", false);
}
void WritePanelVisible(bool visible) {
    IniWrite(Section, "PanelVisible", visible ? "Y" : "N");
}
bool ReadReportSummary() {
    return readFlag("ReportSummary", false);
}
void WriteReportSummary(bool on) {
    IniWrite(Section, "ReportSummary", on ? "Y" : "N");
}

} // namespace vyz::analysis
