// The entry of the office formats' module: the only symbol it offers.
#include "report/office_formats.h"

extern "C" __attribute__((visibility("default"))) const vyz::report::OfficeExporters*
vyz_office_exporters() {
    return &vyz::report::LinkedOffice;
}
