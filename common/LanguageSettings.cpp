#include "LanguageSettings.h"

#include "Localization.h"
#include "UserDefaults.h"

namespace quillmorph {

LanguageSettings::LanguageSettings() : m_code(Localization::language()) {}

bool LanguageSettings::setCode(const std::string& code) {
    if (code == m_code)
        return false;
    m_code = code;
    Localization::setLanguage(code);
    UserDefaults::setString("QuillmorphLanguage", code);
    return true;
}

} // namespace quillmorph
