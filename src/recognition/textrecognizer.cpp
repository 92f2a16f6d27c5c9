#include "textrecognizer.h"

namespace corvane {

TextRecognizer::~TextRecognizer() = default;

} // namespace corvane
