#include "data/archive_record.h"

namespace vyz {

ArchiveRecord MeasurementArchive[ArchiveCapacity];
std::atomic<int32_t> RecordCount{0};
std::atomic<bool> GPSModeFlag{false};

} // namespace vyz
