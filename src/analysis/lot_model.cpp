#include "analysis/lot_model.h"

#include "analysis/analysis_texts.h"
#include "platform/text_string.h"

namespace vyz::analysis {

LotModel::LotModel(QObject* parent) : QObject(parent) {
    recompute();
}

void LotModel::SetTable(const ArchiveRecord* archive, const int32_t* order, int rows) {
    rows_.clear();
    rows_.reserve(std::max(rows, 0));
    for (int i = 0; i < rows; ++i)
        if (order[i] >= 0 && order[i] < ArchiveCapacity) rows_.push_back(archive[order[i]]);
    first_ = last_ = -1;
    verdicts_.resize(rows_.size());
    for (size_t i = 0; i < rows_.size(); ++i)
        verdicts_[i] = Judge(rows_[i], limits_);
    recompute();
    emit tableChanged();
}

void LotModel::SetSelection(int first, int last) {
    const int n = int(rows_.size());
    first = std::max(first, 0);
    last = std::min(last, n - 1);
    if (last <= first) first = last = -1;
    if (first == first_ && last == last_) return;
    first_ = first;
    last_ = last;
    recompute();
}

void LotModel::SetLimits(const Limits& limits) {
    limits_ = limits;
    for (size_t i = 0; i < rows_.size(); ++i)
        verdicts_[i] = Judge(rows_[i], limits_);
    recompute();
    emit tableChanged();
}

LotStatistics LotModel::WholeTable() const {
    return ComputeStatistics(rows_.data(), int(rows_.size()), limits_);
}

QString LotModel::ScopeText(int lang) const {
    if (!HasSelection()) return Text(text::AllRecords, lang).arg(rows_.size());
    return Text(text::SelectedRecords, lang)
        .arg(rows_[first_].RecordNo)
        .arg(rows_[last_].RecordNo)
        .arg(last_ - first_ + 1);
}

void LotModel::recompute() {
    if (HasSelection())
        figures_ = ComputeStatistics(rows_.data() + first_, last_ - first_ + 1, limits_);
    else
        figures_ = WholeTable();
    emit figuresChanged();
}

} // namespace vyz::analysis
