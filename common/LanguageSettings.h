#pragma once

#include <string>

namespace quillmorph {

// The user's language choice. Setting a new code switches Localization's language and stores
// it under "QuillmorphLanguage"; setting the current one changes and writes nothing.
class LanguageSettings {
public:
    LanguageSettings();

    [[nodiscard]] const std::string& code() const { return m_code; }
    // True when the code changed.
    bool setCode(const std::string& code);

private:
    std::string m_code;
};

} // namespace quillmorph
