// The instrument display viewer.
#pragma once

namespace vyz {} // namespace vyz
