#include "extension/ThunarActions.h"

#include <algorithm>
#include <cstring>
#include <glib.h>
#include <memory>
#include <vector>

namespace quillmorph::ThunarActions {
namespace {

struct ParseContextDeleter {
    void operator()(GMarkupParseContext* context) const { g_markup_parse_context_free(context); }
};
struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};

// The unique-id of every <action> directly under the root, in document order.
struct IdCollector {
    std::string root;
    std::vector<std::string> ids;
};

void startElement(GMarkupParseContext* context, const char* name, const char**, const char**, gpointer data,
                  GError**) {
    auto* collector = static_cast<IdCollector*>(data);
    const GSList* stack = g_markup_parse_context_get_element_stack(context);
    const unsigned depth = g_slist_length(const_cast<GSList*>(stack));
    if (depth == 1)
        collector->root = name;
    else if (depth == 2 && std::strcmp(name, "action") == 0)
        collector->ids.emplace_back();
}

void text(GMarkupParseContext* context, const char* text, gsize length, gpointer data, GError**) {
    auto* collector = static_cast<IdCollector*>(data);
    const GSList* stack = g_markup_parse_context_get_element_stack(context);
    if (g_slist_length(const_cast<GSList*>(stack)) == 3 &&
        std::strcmp(static_cast<const char*>(stack->data), "unique-id") == 0 &&
        std::strcmp(static_cast<const char*>(stack->next->data), "action") == 0)
        collector->ids.back().append(text, length);
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
}

// Byte ranges, so that everything outside the replaced actions is copied untouched.
struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;
};

struct Layout {
    std::vector<Span> actions; // <action>…</action> directly under the root
    std::size_t rootClose = 0; // where the root's closing tag starts
};

// The markup has already passed GLib's parser, so only the constructs it accepts occur.
Layout layout(std::string_view document) {
    Layout result;
    int depth = 0;
    std::size_t actionBegin = 0;
    std::size_t position = 0;
    const auto skipPast = [&](std::string_view terminator) {
        const std::size_t found = document.find(terminator, position);
        position = found == std::string_view::npos ? document.size() : found + terminator.size();
    };
    while ((position = document.find('<', position)) != std::string_view::npos) {
        const std::size_t tagBegin = position;
        const std::string_view rest = document.substr(position);
        if (rest.starts_with("<!--")) {
            skipPast("-->");
        } else if (rest.starts_with("<![CDATA[")) {
            skipPast("]]>");
        } else if (rest.starts_with("<?")) {
            skipPast("?>");
        } else if (rest.starts_with("<!")) {
            skipPast(">");
        } else if (rest.starts_with("</")) {
            skipPast(">");
            --depth;
            if (depth == 1 && rest.substr(2).starts_with("action"))
                result.actions.push_back({.begin = actionBegin, .end = position});
            else if (depth == 0)
                result.rootClose = tagBegin;
        } else {
            // An attribute value may hold '>', never an unescaped quote of its own kind.
            char quote = 0;
            ++position;
            while (position < document.size() && (quote != 0 || document[position] != '>')) {
                if (quote == 0 && (document[position] == '"' || document[position] == '\''))
                    quote = document[position];
                else if (quote == document[position])
                    quote = 0;
                ++position;
            }
            ++position;
            const std::string_view name = rest.substr(1, rest.find_first_of(" \t\r\n/>", 1) - 1);
            const bool empty = document[position - 2] == '/';
            if (depth == 1 && name == "action") {
                actionBegin = tagBegin;
                if (empty)
                    result.actions.push_back({.begin = tagBegin, .end = position});
            }
            if (!empty)
                ++depth;
        }
    }
    return result;
}

// Widened to the whole lines the span occupies when nothing else shares them, so that removing
// and re-adding an action leaves no blank line behind.
Span wholeLines(std::string_view document, Span span) {
    std::size_t begin = span.begin;
    while (begin > 0 && (document[begin - 1] == ' ' || document[begin - 1] == '\t'))
        --begin;
    if (begin > 0 && document[begin - 1] != '\n')
        return span;
    if (span.end < document.size() && document[span.end] == '\n')
        return {.begin = begin, .end = span.end + 1};
    return {.begin = begin, .end = span.end};
}

struct Parsed {
    Layout layout;
    std::vector<std::string> ids;
};

std::optional<Parsed> parse(std::string_view document, std::string& problem) {
    static constexpr GMarkupParser parser{startElement, nullptr, text, nullptr, nullptr};
    IdCollector collector;
    const std::unique_ptr<GMarkupParseContext, ParseContextDeleter> context{
        g_markup_parse_context_new(&parser, GMarkupParseFlags{}, &collector, nullptr)};
    GError* rawError = nullptr;
    const bool parsed = g_markup_parse_context_parse(context.get(), document.data(),
                                                     static_cast<gssize>(document.size()), &rawError) &&
                        g_markup_parse_context_end_parse(context.get(), &rawError);
    const std::unique_ptr<GError, GErrorDeleter> error{rawError};
    if (!parsed) {
        problem = error->message;
        return std::nullopt;
    }
    if (collector.root != "actions") {
        problem = "the root element is <" + collector.root + ">, not <actions>";
        return std::nullopt;
    }
    Parsed result{.layout = layout(document)};
    if (result.layout.rootClose == 0) {
        problem = "the <actions> element has no closing tag";
        return std::nullopt;
    }
    if (result.layout.actions.size() != collector.ids.size()) {
        problem = "could not locate every <action> element";
        return std::nullopt;
    }
    std::ranges::transform(collector.ids, std::back_inserter(result.ids), trimmed);
    return result;
}

} // namespace

std::optional<std::string> merge(std::string_view existing, std::string_view ours, std::string& problem) {
    const std::optional<Parsed> our = parse(ours, problem);
    if (!our)
        return std::nullopt;
    const std::optional<Parsed> their = parse(existing, problem);
    if (!their)
        return std::nullopt;

    std::string ourActions;
    for (const Span& span : our->layout.actions) {
        const Span lines = wholeLines(ours, span);
        ourActions.append(ours.substr(lines.begin, lines.end - lines.begin));
    }

    std::string result;
    std::size_t copied = 0;
    for (std::size_t index = 0; index < their->ids.size(); ++index) {
        if (std::ranges::find(our->ids, their->ids[index]) == our->ids.end())
            continue;
        const Span lines = wholeLines(existing, their->layout.actions[index]);
        result.append(existing.substr(copied, lines.begin - copied));
        copied = lines.end;
    }
    // Ours go last, on lines of their own before the closing </actions>.
    std::size_t insertion = their->layout.rootClose;
    while (insertion > copied && (existing[insertion - 1] == ' ' || existing[insertion - 1] == '\t'))
        --insertion;
    if (insertion > copied && existing[insertion - 1] != '\n')
        insertion = their->layout.rootClose;
    result.append(existing.substr(copied, insertion - copied));
    if (!result.empty() && result.back() != '\n')
        result.push_back('\n');
    result.append(ourActions);
    result.append(existing.substr(insertion));
    return result;
}

} // namespace quillmorph::ThunarActions
