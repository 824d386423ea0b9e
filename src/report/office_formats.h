// The exporters of the office formats (Excel workbook, OpenDocument spreadsheet and text). They
// need libxlsxwriter and libzip, and through both OpenSSL's libcrypto; loading those libraries
// takes a noticeable part of the program's start, so the program keeps these exporters in a
// module of their own (vyz_office.so) that the first such export loads. The converter and the
// tests link them in instead.
#pragma once

#include "report/report_export.h"

#include <cstddef>

namespace vyz::report {

using ExportFunction = ExportResult (*)(const PreparedReport&, const QString&, Progress*);

struct OfficeExporters {
    int abi;           // OfficeAbi of the build that made them
    size_t reportSize; // sizeof(PreparedReport) there
    ExportFunction xlsx, ods, odt;
};

// Changes whenever what the exporters share with the program changes in a way sizeof misses.
inline constexpr int OfficeAbi = 1;

// The module's file name and the function it offers its exporters through.
inline constexpr char OfficeModuleName[] = "vyz_office.so";
inline constexpr char OfficeModuleEntry[] = "vyz_office_exporters";

// The exporters linked in, or else the module's, loaded on first use from beside the program,
// the library folder of the prefix the program is installed in, or the one compiled in; nullptr
// with the reason in *error when none can be loaded (the next call tries again).
const OfficeExporters* Office(QString* error);

// The exporters of this build (office_linked.cpp); only where they are linked in.
extern const OfficeExporters LinkedOffice __attribute__((weak));

} // namespace vyz::report
