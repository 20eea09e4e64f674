#pragma once

#include "PDFSettings.h"

// The PDF method a new panel starts with: the last one chosen, kept in the user defaults.
namespace quillmorph::RememberedMethod {

// The method stored under "pdf.method"; pages as pictures when absent or not a method.
[[nodiscard]] PDFSettings::Method load();

// Stores the choice for the next panel.
void store(PDFSettings::Method method);

} // namespace quillmorph::RememberedMethod
