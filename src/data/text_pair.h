// Every text the operator sees exists in Russian and in English; LangIndex chooses which.
#pragma once

#include <atomic>
#include <cstdint>

namespace vyz {

// 0 Russian (its value at process start), 1 English. Changed only by the language commands; read
// by the USB worker thread too, hence atomic.
extern std::atomic<int8_t> LangIndex;

// A text pair: element 0 Russian, element 1 English, UTF-8.
struct TextPair {
    const char* ru;
    const char* en;
    const char* operator()() const { return LangIndex.load(std::memory_order_relaxed) == 0 ? ru : en; }
    const char* in(int lang) const { return lang == 0 ? ru : en; }
};

} // namespace vyz
