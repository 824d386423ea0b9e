#include "output/measurement_file.h"
