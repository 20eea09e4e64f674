#include "RememberedMethod.h"

#include "common/UserDefaults.h"

#include <string>

namespace quillmorph::RememberedMethod {
namespace {

constexpr std::string_view methodKey = "pdf.method";

} // namespace

PDFSettings::Method load() {
    const std::optional<std::string> stored = UserDefaults::string(methodKey);
    return stored ? fromString<PDFSettings::Method>(*stored).value_or(PDFSettings::Method::pagesAsPictures)
                  : PDFSettings::Method::pagesAsPictures;
}

void store(PDFSettings::Method method) {
    UserDefaults::setString(methodKey, std::string(toString(method)));
}

} // namespace quillmorph::RememberedMethod
