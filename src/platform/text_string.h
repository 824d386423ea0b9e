// A text pair as a QString: the one conversion every window and message uses.
#pragma once

#include "data/text_pair.h"

#include <QString>

namespace vyz {

// The pair's text in the current language.
inline QString Text(const TextPair& pair) {
    return QString::fromUtf8(pair());
}
// The pair's text in `lang` (0 Russian, 1 English).
inline QString Text(const TextPair& pair, int lang) {
    return QString::fromUtf8(pair.in(lang));
}

} // namespace vyz
