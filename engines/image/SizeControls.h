#pragma once

#include "FrameSizing.h"
#include "NumberField.h"
#include "common/Phrase.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quillmorph {

// The state behind one width/height input group with an aspect-ratio lock, shared by the image and
// video panels. A view wraps it: it shows text(side), reports the user's changes of a field's text
// through fieldChanged, and shows the controls' own writes (onWrite) without reporting them back:
// the controls deliver the change notification of their own writes themselves, once a write is
// over, and recognise it by its text. Everything runs on the user-interface thread.
class SizeControls {
  public:
    enum class Side { width, height };

    struct Callbacks {
        std::function<void()> onEdit;                          // after a user edit that may change sizing
        std::function<void(Side, const std::string&)> onWrite; // the controls changed a field's text
    };

    SizeControls(FrameSizing sizing, bool isLinked, Callbacks callbacks = {});

    [[nodiscard]] const FrameSizing& sizing() const { return m_sizing; }
    [[nodiscard]] bool isLinked() const { return m_isLinked; }
    [[nodiscard]] Size source() const { return m_source; }
    [[nodiscard]] SizeUnit unit() const { return m_unit; }
    [[nodiscard]] const std::string& text(Side side) const { return m_text[index(side)]; }

    // The owner's bound values changed from outside; no rule runs.
    void setSizing(const FrameSizing& sizing) { m_sizing = sizing; }
    void setLinked(bool isLinked) { m_isLinked = isLinked; }

    // A new pixel size of the source; reset() when it differs and is not (0, 0).
    void setSource(Size source);
    // The unit picker; convert(old, new) when it differs.
    void setUnit(SizeUnit unit);
    // The user changed the text of a field.
    void fieldChanged(Side side, std::string text);

    void edited(Side side);
    // sizing from both fields: fit when linked, exact when not; unchanged when either does not parse,
    // the source is unknown, or a dimension does not fit a signed 64-bit integer.
    void rebuild();
    void convert(SizeUnit from, SizeUnit to);
    void reset();
    void toggleLock();

    // Up/Down arrows (±1, ±10 with Shift) on a field; false when its text does not parse.
    bool step(Side side, double delta);
    // Editing of a field ended: a parsable text takes its formatted form.
    void endEditing(Side side);

    [[nodiscard]] Phrase lockHelp() const;
    [[nodiscard]] Phrase lockLabel() const;

  private:
    static std::size_t index(Side side) { return side == Side::width ? 0 : 1; }
    [[nodiscard]] double ratio() const;
    void write(Side side, const std::string& text);
    void beginSync() { m_isSyncing = true; }
    // Clears isSyncing, then notifies the change of every field written meanwhile.
    void endSync();

    Size m_source;
    FrameSizing m_sizing;
    bool m_isLinked = true;
    Callbacks m_callbacks;
    std::array<std::string, 2> m_text;
    SizeUnit m_unit = SizeUnit::pixels;
    bool m_isSyncing = false;
    std::array<std::optional<std::string>, 2> m_written;
    std::array<bool, 2> m_changedWhileSyncing{};
};

// The rules of one numeric size field, as pure functions over its text.
namespace NumericField {

// The text after a step: max(1, value + delta) formatted in `unit`; nothing when the text does not
// parse (the key is then not handled).
[[nodiscard]] std::optional<std::string> stepped(std::string_view text, double delta, SizeUnit unit);
// The text after editing ends: the formatted form when the text parses and differs from it.
[[nodiscard]] std::optional<std::string> endEditing(std::string_view text, SizeUnit unit);

} // namespace NumericField

} // namespace quillmorph
