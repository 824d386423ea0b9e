#include "viewer/screenshot_window.h"
