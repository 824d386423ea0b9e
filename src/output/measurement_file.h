// Measurement files (*.vyz).
#pragma once

namespace vyz {} // namespace vyz
