#include "data/text_pair.h"

namespace vyz {

std::atomic<int8_t> LangIndex{0};

} // namespace vyz
