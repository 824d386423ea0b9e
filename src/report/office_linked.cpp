#include "report/office_formats.h"

namespace vyz::report {

const OfficeExporters LinkedOffice{OfficeAbi, sizeof(PreparedReport), ExportXlsx, ExportOds,
                                   ExportOdt};

} // namespace vyz::report
